#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace juce { class File; }

// The update package "KVX-70_UP.upd": a 36-byte header with the version as three
// ASCII digits, then exactly eight sections back to back, each framed by 38 bytes:
//
//   +0  signature "KVX-70 "      +15 enable flag ('Y' = send)
//   +20 section code (4 chars)   +32 data length L, uint32 little-endian
//   +36 L data bytes             +36+L CRC-16/XMODEM of the data, little-endian
//
// Everything not listed here is carried but not interpreted.
namespace packageLayout
{
    constexpr const char* fileName = "KVX-70_UP.upd";
    constexpr const char* signature = "KVX-70 ";
    constexpr size_t signatureLength = 7;

    constexpr int sectionCount = 8;
    constexpr size_t headerSize = 36;
    constexpr size_t versionOffset = 20;
    constexpr size_t modelNameSize = 20;

    constexpr size_t sectionFramingSize = 38;
    constexpr size_t flagOffset = 15;
    constexpr size_t sectionCodeOffset = 20;
    constexpr size_t lengthOffset = 32;
    constexpr size_t dataOffset = 36;
    constexpr size_t crcSize = 2;
    constexpr uint8_t enabledFlag = 'Y';

    // Header plus the framing of all eight sections: file size minus this is the payload.
    constexpr size_t overhead = headerSize + sectionCount * sectionFramingSize;
    static_assert (overhead == 340);
}

struct PackageSection
{
    bool enabled = false;
    uint32_t length = 0;
    uint16_t crc = 0;
};

struct UpdatePackage
{
    bool valid = false;
    int version = -1;       // major * 100 + minor
    int payloadSize = 0;    // file size minus the 340 bytes of header and framing
    PackageSection sections[packageLayout::sectionCount];
};

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
uint16_t packageCrc (const void* data, size_t length);

// The plain bit-by-bit definition, kept as the reference the fast version is checked against.
uint16_t packageCrcBitwise (const void* data, size_t length);

// Checks the bytes of a whole package file. Writes the header's version (when version
// is given) before any section is looked at, and the record of each section as it is
// reached. Returns the file size minus 340 when all eight sections pass, otherwise 0;
// `reason` then says what was wrong first. Never reads outside [data, data + size).
uint32_t checkUpdatePackage (const uint8_t* data, size_t size, const char* signature,
                             int* version, PackageSection* sections,
                             std::string* reason = nullptr, int* sectionsReached = nullptr);

// Reads the file front to back and checks it as checkUpdatePackage does; only a small
// part of it is in memory at a time. A missing file, a directory, a short read or a file
// too large for a 32-bit size gives 0 with the version left at -1.
uint32_t readUpdatePackage (const juce::File& file, const char* signature, int* version,
                            PackageSection* sections,
                            std::string* reason = nullptr, int* sectionsReached = nullptr);

// The package file as the updater finds it: in the folder of the running executable,
// never the working directory.
juce::File packageFileNextToExecutable (const char* fileName);

uint32_t readUpdatePackage (const char* fileName, const char* signature, int* version,
                            PackageSection* sections);

// The owner's rule: the package is valid only when both the version and the payload
// size are above 0; otherwise it keeps version -1 and payload size 0.
void settleUpdatePackage (UpdatePackage& package, uint32_t payloadSize, int version);

// File offset of section k's data (k in 0..8; 8 gives the end of the last section's data).
uint64_t sectionFileOffset (const PackageSection* sections, int k);
