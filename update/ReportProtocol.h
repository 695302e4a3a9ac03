#pragma once

// The report exchange between the updater and the controller, declared once for both
// sides: the updater's transfer and the virtual controller build and read reports here.

#include "update/UpdatePackage.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace reportProtocol
{
    constexpr size_t reportSize = 64;
    constexpr size_t inputReportCapacity = 256;
    using OutputReport = std::array<uint8_t, reportSize>;

    // Byte 0 of every output report.
    enum ReportCommand : uint8_t
    {
        updateHeader = 0xF0,
        sectionStart = 0xF1,
        statusQuery  = 0xF2,
        sectionData  = 0xF3,
    };

    // Byte 0 of an input report; byte 1 carries a percentage where one is used.
    enum DeviceAnswer : uint8_t
    {
        working        = 0xF7,   // to statusQuery: still writing, byte 1 percent
        headerAccepted = 0xF8,   // to updateHeader
        proceed        = 0xF9,   // to sectionStart and every sectionData but a section's last
        sectionEndAlt  = 0xFB,   // to a section's last sectionData, treated as sectionEnd
        finished       = 0xFC,   // to statusQuery: the firmware is written
        sectionEnd     = 0xFE,   // to a section's last sectionData
    };

    // What a waiting step reads when the wait was ended by a device change or a quit rather
    // than by the controller: the input report has been zeroed. No step accepts it.
    constexpr uint8_t noAnswer = 0x00;

    constexpr size_t answerCodeOffset = 0;
    constexpr size_t answerValueOffset = 1;

    // updateHeader layout
    constexpr size_t headerVersionOffset = 2;        // version × 16, big-endian, 2 bytes
    constexpr size_t headerPayloadSizeOffset = 4;    // low 24 bits, little-endian
    constexpr size_t headerRecordsOffset = 7;        // eight 6-byte section records
    constexpr size_t sectionRecordSize = 6;
    constexpr uint8_t recordEnabledBit = 0x80;       // in the record's first byte, beside the number
    constexpr size_t recordLengthOffset = 1;         // low 24 bits, little-endian
    constexpr size_t recordCrcOffset = 4;            // little-endian
    constexpr uint32_t largestAnnouncedSize = 0xFFFFFF;

    // sectionStart and sectionData: byte 1 is the section number 1..8.
    constexpr size_t sectionNumberOffset = 1;
    constexpr size_t sectionDataOffset = 2;
    constexpr size_t dataBytesPerReport = reportSize - sectionDataOffset;
    static_assert (dataBytesPerReport == 62);

    // Fills the last data report of a section behind the end of its data. The header has
    // announced the section's length, so the controller knows where the data ends.
    constexpr uint8_t dataPadding = 0xFF;

    // Answer time-outs and the pause between status answers, in milliseconds.
    constexpr int commandTimeoutMs = 10000;     // after updateHeader, sectionStart, statusQuery
    constexpr int dataTimeoutMs = 180000;       // after each sectionData
    constexpr int statusPauseMs = 100;

    inline OutputReport makeUpdateHeader (const UpdatePackage& package)
    {
        OutputReport report {};
        report[0] = updateHeader;
        const auto versionField = (uint32_t) package.version << 4;
        report[headerVersionOffset] = (uint8_t) (versionField >> 8);
        report[headerVersionOffset + 1] = (uint8_t) (versionField & 0xF0);

        const auto payload = (uint32_t) package.payloadSize;
        for (size_t i = 0; i < 3; ++i)
            report[headerPayloadSizeOffset + i] = (uint8_t) (payload >> (8 * i));

        for (size_t k = 0; k < (size_t) packageLayout::sectionCount; ++k)
        {
            const auto& section = package.sections[k];
            auto* record = &report[headerRecordsOffset + k * sectionRecordSize];
            record[0] = (uint8_t) ((k + 1) | (section.enabled ? recordEnabledBit : 0));

            for (size_t i = 0; i < 3; ++i)
                record[recordLengthOffset + i] = (uint8_t) (section.length >> (8 * i));

            record[recordCrcOffset] = (uint8_t) (section.crc & 0xFF);
            record[recordCrcOffset + 1] = (uint8_t) (section.crc >> 8);
        }

        return report;
    }

    inline OutputReport makeSectionStart (int sectionNumber)
    {
        OutputReport report {};
        report[0] = sectionStart;
        report[sectionNumberOffset] = (uint8_t) sectionNumber;
        return report;
    }

    // `data` holds at least dataBytesPerReport bytes.
    inline OutputReport makeSectionData (int sectionNumber, const uint8_t* data)
    {
        OutputReport report {};
        report[0] = sectionData;
        report[sectionNumberOffset] = (uint8_t) sectionNumber;
        std::copy (data, data + dataBytesPerReport, report.begin() + sectionDataOffset);
        return report;
    }

    inline OutputReport makeStatusQuery()
    {
        OutputReport report {};
        report[0] = statusQuery;
        return report;
    }

    // Readers of the updateHeader report, for the controller's side of the exchange.
    inline int readHeaderVersion (const OutputReport& report)
    {
        return ((report[headerVersionOffset] << 8) | report[headerVersionOffset + 1]) >> 4;
    }

    inline uint32_t readHeaderPayloadSize (const OutputReport& report)
    {
        uint32_t size = 0;
        for (size_t i = 0; i < 3; ++i)
            size |= (uint32_t) report[headerPayloadSizeOffset + i] << (8 * i);
        return size;
    }

    // Bits 0 to 6 of record k (0..7): the section number the record claims to describe.
    inline int readHeaderRecordNumber (const OutputReport& report, size_t k)
    {
        return report[headerRecordsOffset + k * sectionRecordSize] & ~recordEnabledBit;
    }

    inline PackageSection readHeaderSection (const OutputReport& report, size_t k)
    {
        const auto* record = &report[headerRecordsOffset + k * sectionRecordSize];
        PackageSection section;
        section.enabled = (record[0] & recordEnabledBit) != 0;

        for (size_t i = 0; i < 3; ++i)
            section.length |= (uint32_t) record[recordLengthOffset + i] << (8 * i);

        section.crc = (uint16_t) (record[recordCrcOffset] | (record[recordCrcOffset + 1] << 8));
        return section;
    }

    inline size_t dataReportCount (uint32_t sectionLength)
    {
        return (sectionLength + dataBytesPerReport - 1) / dataBytesPerReport;
    }
}
