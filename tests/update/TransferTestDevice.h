#pragma once

// Test doubles for the report exchange: a controller that answers as the protocol says,
// a package fixture on disk, and a scripted TransferLink that records everything.

#include "update/FirmwareTransfer.h"
#include "update/PackageWriter.h"
#include "update/ReportProtocol.h"
#include "update/UpdatePackage.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace transferTest
{
    using namespace reportProtocol;

    struct Reply
    {
        uint8_t code = 0;
        uint8_t value = 0;
    };

    inline std::vector<uint8_t> pattern (size_t count, uint8_t seed)
    {
        std::vector<uint8_t> bytes (count);

        for (size_t i = 0; i < count; ++i)
            bytes[i] = (uint8_t) (seed + i * 7 + (i >> 8));

        return bytes;
    }

    // A package written by the one package writer into a file of its own, and read back by
    // the updater's reader, as the program does before it starts the transfer.
    struct PackageOnDisk
    {
        explicit PackageOnDisk (std::vector<PackageSectionSource> sectionSources, int versionDigits = 123)
            : sources (std::move (sectionSources))
        {
            bytes = writeUpdatePackage (versionDigits, sources);
            EXPECT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));

            int version = -1;
            const auto payloadSize = readUpdatePackage (file, packageLayout::signature, &version,
                                                        package.sections);
            settleUpdatePackage (package, payloadSize, version);
            EXPECT_TRUE (package.valid);
        }

        // Offset of section k's data within `bytes`.
        size_t dataOffset (int k) const   { return (size_t) sectionFileOffset (package.sections, k); }

        void rewrite() const              { EXPECT_TRUE (file.replaceWithData (bytes.data(), bytes.size())); }

        std::vector<PackageSectionSource> sources;
        std::vector<uint8_t> bytes;
        juce::TemporaryFile temporary { ".upd" };
        juce::File file = temporary.getFile();
        UpdatePackage package;
    };

    // A healthy controller: learns the section lengths from the header, answers every report
    // as the protocol expects, and keeps the payload of every data report it receives.
    class Controller
    {
    public:
        // Answers to statusQuery in turn; the last one repeats.
        std::vector<Reply> statusAnswers { { finished, 100 } };
        uint8_t endCode = sectionEnd;

        // Per section: the 62-byte payloads of its data reports, back to back.
        std::array<std::vector<uint8_t>, 8> received;

        Reply answer (const OutputReport& report)
        {
            switch (report[0])
            {
                case updateHeader:  return acceptHeader (report);
                case sectionStart:  return startSection (report[sectionNumberOffset]);
                case sectionData:   return takeData (report);
                case statusQuery:   return nextStatus();
                default:            return { 0xEE, 0 };
            }
        }

    private:
        std::array<uint32_t, 8> lengths {};
        uint32_t totalBytes = 0;
        uint32_t receivedBytes = 0;
        size_t reportsLeft = 0;
        uint32_t bytesLeft = 0;
        size_t statusIndex = 0;

        Reply acceptHeader (const OutputReport& report)
        {
            totalBytes = 0;

            for (size_t k = 0; k < 8; ++k)
            {
                const auto* record = &report[headerRecordsOffset + k * sectionRecordSize];
                lengths[k] = (uint32_t) record[recordLengthOffset]
                           | ((uint32_t) record[recordLengthOffset + 1] << 8)
                           | ((uint32_t) record[recordLengthOffset + 2] << 16);

                if ((record[0] & recordEnabledBit) != 0)
                    totalBytes += lengths[k];
            }

            return { headerAccepted, 0 };
        }

        Reply startSection (uint8_t number)
        {
            bytesLeft = number >= 1 && number <= 8 ? lengths[number - 1u] : 0;
            reportsLeft = dataReportCount (bytesLeft);
            return { proceed, 0 };
        }

        Reply takeData (const OutputReport& report)
        {
            const auto number = report[sectionNumberOffset];

            if (number >= 1 && number <= 8)
                received[number - 1u].insert (received[number - 1u].end(),
                                              report.begin() + (long) reportProtocol::sectionDataOffset,
                                              report.end());

            const auto bytes = std::min<uint32_t> (bytesLeft, (uint32_t) dataBytesPerReport);
            bytesLeft -= bytes;
            receivedBytes += bytes;

            if (reportsLeft > 0)
                --reportsLeft;

            const auto percent = (uint8_t) (totalBytes > 0 ? receivedBytes * 100u / totalBytes : 0);
            return { reportsLeft == 0 ? endCode : (uint8_t) proceed, percent };
        }

        Reply nextStatus()
        {
            const auto index = std::min (statusIndex++, statusAnswers.size() - 1);
            return statusAnswers[index];
        }
    };

    // "H S1 D1 D1 Q": the reports in the order sent, by command and section number.
    inline std::string pathOf (const std::vector<OutputReport>& sent)
    {
        std::string path;

        for (const auto& report : sent)
        {
            if (! path.empty())
                path += ' ';

            switch (report[0])
            {
                case updateHeader: path += "H"; break;
                case sectionStart: path += "S" + std::to_string (report[sectionNumberOffset]); break;
                case sectionData:  path += "D" + std::to_string (report[sectionNumberOffset]); break;
                case statusQuery:  path += "Q"; break;
                default:           path += "?"; break;
            }
        }

        return path;
    }
}
