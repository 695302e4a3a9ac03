#pragma once

// A package built by the project's writer and the reports the updater sends for it, in the
// updater's order: header, then per enabled section its start and its data reports.

#include "update/PackageWriter.h"
#include "update/ReportProtocol.h"
#include "update/UpdatePackage.h"

#include <algorithm>
#include <random>
#include <vector>

namespace updateScript
{
    using reportProtocol::OutputReport;

    struct Fixture
    {
        std::vector<PackageSectionSource> sources;
        UpdatePackage package;
    };

    inline std::vector<uint8_t> randomBytes (size_t count, unsigned seed)
    {
        std::mt19937 generator (seed);
        std::vector<uint8_t> bytes (count);
        for (auto& b : bytes)
            b = (uint8_t) generator();
        return bytes;
    }

    // Sections of the given lengths, all enabled except those listed as off (1-based).
    inline Fixture makeFixture (std::vector<size_t> lengths, std::vector<int> off = {}, int version = 123)
    {
        Fixture fixture;
        for (size_t k = 0; k < lengths.size(); ++k)
        {
            const bool enabled = std::find (off.begin(), off.end(), (int) k + 1) == off.end();
            fixture.sources.push_back ({ randomBytes (lengths[k], (unsigned) k + 1), enabled });
        }

        const auto file = writeUpdatePackage (version, fixture.sources);
        int readVersion = -1;
        const auto payload = checkUpdatePackage (file.data(), file.size(), packageLayout::signature,
                                                 &readVersion, fixture.package.sections);
        settleUpdatePackage (fixture.package, payload, readVersion);
        return fixture;
    }

    inline const std::vector<uint8_t>& sectionBytes (const Fixture& fixture, int number)
    {
        static const std::vector<uint8_t> none;
        return (size_t) number <= fixture.sources.size() ? fixture.sources[(size_t) number - 1].data : none;
    }

    // Data report j of a section, 0xFF behind the end of its data, as the updater fills it.
    inline OutputReport dataReport (const Fixture& fixture, int number, size_t j)
    {
        const auto& data = sectionBytes (fixture, number);
        uint8_t chunk[reportProtocol::dataBytesPerReport];
        std::fill (std::begin (chunk), std::end (chunk), 0xFF);
        const auto at = j * reportProtocol::dataBytesPerReport;
        const auto count = std::min (reportProtocol::dataBytesPerReport, data.size() - std::min (at, data.size()));
        std::copy (data.begin() + (long) at, data.begin() + (long) (at + count), chunk);
        return reportProtocol::makeSectionData (number, chunk);
    }

    inline size_t dataReports (const Fixture& fixture, int number)
    {
        return reportProtocol::dataReportCount (fixture.package.sections[number - 1].length);
    }
}
