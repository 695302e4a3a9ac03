#include "update/PackageWriter.h"

#include "update/UpdatePackage.h"

#include <cstdio>
#include <cstring>

namespace
{
    constexpr uint8_t disabledFlag = 'N';
    constexpr const char* modelName = "KVX-70";

    void append32 (std::vector<uint8_t>& out, uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back ((uint8_t) (value >> shift));
    }
}

std::vector<uint8_t> writeUpdatePackage (int versionDigits,
                                         const std::vector<PackageSectionSource>& sources)
{
    using namespace packageLayout;

    std::vector<uint8_t> out (headerSize, 0);
    std::memcpy (out.data(), modelName, std::strlen (modelName));
    out[versionOffset]     = (uint8_t) ('0' + versionDigits / 100 % 10);
    out[versionOffset + 1] = (uint8_t) ('0' + versionDigits / 10 % 10);
    out[versionOffset + 2] = (uint8_t) ('0' + versionDigits % 10);

    for (int k = 0; k < sectionCount; ++k)
    {
        const bool given = k < (int) sources.size();
        const auto* data = given ? &sources[(size_t) k].data : nullptr;
        const auto length = data != nullptr ? (uint32_t) data->size() : 0u;

        const auto start = out.size();
        out.resize (start + dataOffset, 0);
        std::memcpy (&out[start], signature, signatureLength);
        out[start + flagOffset] = given && sources[(size_t) k].enabled ? enabledFlag : disabledFlag;

        char code[5];
        std::snprintf (code, sizeof (code), "%04X", 0x1000 + k + 1);
        std::memcpy (&out[start + sectionCodeOffset], code, 4);

        out.resize (start + lengthOffset);
        append32 (out, length);

        if (length > 0)
            out.insert (out.end(), data->begin(), data->end());

        const auto crc = length > 0 ? packageCrc (data->data(), length) : (uint16_t) 0;
        out.push_back ((uint8_t) (crc & 0xFF));
        out.push_back ((uint8_t) (crc >> 8));
    }

    return out;
}
