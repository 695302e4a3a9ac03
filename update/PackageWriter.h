#pragma once

#include <cstdint>
#include <vector>

// Builds package files: the one writer behind `kvx-package create`, the demo package
// and every test fixture, so that a fixture's bytes always mean what the reader reads.
struct PackageSectionSource
{
    std::vector<uint8_t> data;
    bool enabled = true;
};

// `versionDigits` is 0..999 and becomes the header's three ASCII digits (123 is 1.23).
// Up to eight sources fill sections 1..8 in order; the rest are empty and not enabled.
// A source that is not enabled gets the flag byte 'N'.
std::vector<uint8_t> writeUpdatePackage (int versionDigits,
                                         const std::vector<PackageSectionSource>& sources);
