#include "update/UpdatePackage.h"

#include <juce_core/juce_core.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <limits>

#if (defined (__x86_64__) || defined (__i386__)) && (defined (__GNUC__) || defined (__clang__))
 #define KVX_CRC_FOLDING 1
 #include <immintrin.h>
#endif

namespace
{
    constexpr uint16_t crcPolynomial = 0x1021;
    constexpr int crcSlices = 8;

    // tables[0] is the classic byte table; tables[k][b] is the CRC of byte b followed by
    // k zero bytes, so eight bytes fold into the register with eight independent look-ups.
    using CrcTables = std::array<std::array<uint16_t, 256>, crcSlices>;

    CrcTables makeCrcTables()
    {
        CrcTables tables {};

        for (int b = 0; b < 256; ++b)
        {
            auto crc = (uint16_t) (b << 8);

            for (int bit = 0; bit < 8; ++bit)
                crc = (uint16_t) ((crc & 0x8000) ? (crc << 1) ^ crcPolynomial : crc << 1);

            tables[0][(size_t) b] = crc;
        }

        for (size_t k = 1; k < crcSlices; ++k)
            for (size_t b = 0; b < 256; ++b)
            {
                auto previous = tables[k - 1][b];
                tables[k][b] = (uint16_t) ((previous << 8) ^ tables[0][previous >> 8]);
            }

        return tables;
    }

    const CrcTables crcTables = makeCrcTables();

    uint32_t readLittleEndian32 (const uint8_t* bytes)
    {
        return (uint32_t) bytes[0] | ((uint32_t) bytes[1] << 8)
             | ((uint32_t) bytes[2] << 16) | ((uint32_t) bytes[3] << 24);
    }

    uint16_t readLittleEndian16 (const uint8_t* bytes)
    {
        return (uint16_t) (bytes[0] | (bytes[1] << 8));
    }

    void setReason (std::string* reason, const std::string& text)
    {
        if (reason != nullptr)
            *reason = text;
    }

    std::string hex16 (uint16_t value)
    {
        char text[8];
        std::snprintf (text, sizeof (text), "0x%04X", value);
        return text;
    }
}

namespace
{
    // The table-driven CRC from `crc` on: eight bytes at a time, then byte by byte.
    uint16_t crcSliced (uint16_t crc, const uint8_t* bytes, size_t length)
    {
        for (; length >= crcSlices; length -= crcSlices, bytes += crcSlices)
        {
            const auto first = (uint8_t) ((crc >> 8) ^ bytes[0]);
            const auto second = (uint8_t) ((crc & 0xFF) ^ bytes[1]);

            crc = (uint16_t) (crcTables[7][first] ^ crcTables[6][second]
                            ^ crcTables[5][bytes[2]] ^ crcTables[4][bytes[3]]
                            ^ crcTables[3][bytes[4]] ^ crcTables[2][bytes[5]]
                            ^ crcTables[1][bytes[6]] ^ crcTables[0][bytes[7]]);
        }

        for (; length > 0; --length, ++bytes)
            crc = (uint16_t) ((crc << 8) ^ crcTables[0][(uint8_t) ((crc >> 8) ^ *bytes)]);

        return crc;
    }

   #if KVX_CRC_FOLDING
    // The CRC (initial value 0, no final xor) of a byte string is its polynomial, the
    // first byte's top bit the highest term, times x^16 modulo P = x^16 + 0x1021. So any
    // string of the same value modulo P has the same CRC, and a long string can first be
    // folded with carry-less multiplications (16 bytes per step, four steps in flight)
    // into 16 bytes of the same value modulo P, whose CRC the tables then take.

    // x^d mod P, 16 bits.
    constexpr uint64_t xPowerModP (int d)
    {
        uint32_t remainder = 1;

        for (int i = 0; i < d; ++i)
        {
            remainder <<= 1;
            if ((remainder & 0x10000) != 0)
                remainder ^= 0x10000 | crcPolynomial;
        }

        return remainder;
    }

    // 16 bytes as one 128-bit polynomial: the first byte in the top bits.
    __attribute__ ((target ("pclmul,ssse3")))
    inline __m128i loadBlock (const uint8_t* bytes)
    {
        const auto reverse = _mm_set_epi8 (0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        return _mm_shuffle_epi8 (_mm_loadu_si128 (reinterpret_cast<const __m128i*> (bytes)), reverse);
    }

    // value · x^distance + next, modulo P in effect: the high half times
    // x^(distance + 64) mod P and the low half times x^distance mod P (constants in the
    // high and low halves of `constants`). The products stay below 80 bits.
    __attribute__ ((target ("pclmul,ssse3")))
    inline __m128i fold (__m128i value, __m128i constants, __m128i next)
    {
        return _mm_xor_si128 (_mm_xor_si128 (_mm_clmulepi64_si128 (value, constants, 0x11),
                                             _mm_clmulepi64_si128 (value, constants, 0x00)),
                              next);
    }

    // Needs length >= 64.
    __attribute__ ((target ("pclmul,ssse3")))
    uint16_t crcFolded (const uint8_t* bytes, size_t length)
    {
        const auto by512 = _mm_set_epi64x ((long long) xPowerModP (576), (long long) xPowerModP (512));
        const auto by128 = _mm_set_epi64x ((long long) xPowerModP (192), (long long) xPowerModP (128));

        auto a = loadBlock (bytes);
        auto b = loadBlock (bytes + 16);
        auto c = loadBlock (bytes + 32);
        auto d = loadBlock (bytes + 48);
        bytes += 64;
        length -= 64;

        for (; length >= 64; length -= 64, bytes += 64)
        {
            a = fold (a, by512, loadBlock (bytes));
            b = fold (b, by512, loadBlock (bytes + 16));
            c = fold (c, by512, loadBlock (bytes + 32));
            d = fold (d, by512, loadBlock (bytes + 48));
        }

        auto value = fold (fold (fold (a, by128, b), by128, c), by128, d);

        for (; length >= 16; length -= 16, bytes += 16)
            value = fold (value, by128, loadBlock (bytes));

        const auto reverse = _mm_set_epi8 (0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
        uint8_t folded[16];
        _mm_storeu_si128 (reinterpret_cast<__m128i*> (folded), _mm_shuffle_epi8 (value, reverse));

        return crcSliced (crcSliced (0, folded, sizeof (folded)), bytes, length);
    }

    bool canFold()
    {
        static const bool supported = __builtin_cpu_supports ("pclmul") && __builtin_cpu_supports ("ssse3");
        return supported;
    }
   #endif
}

uint16_t packageCrc (const void* data, size_t length)
{
    auto* bytes = static_cast<const uint8_t*> (data);

   #if KVX_CRC_FOLDING
    if (length >= 64 && canFold())
        return crcFolded (bytes, length);
   #endif

    return crcSliced (0, bytes, length);
}

namespace
{
    // The CRC of `length` bytes continued from `crc`, the CRC of what came before them. The
    // bytes are the caller's scratch copy: the fast path puts `crc` into their first two
    // bytes, because a CRC continued from a value equals the CRC from 0 of the same bytes
    // with that value added into the first two.
    uint16_t continuePackageCrc (uint16_t crc, uint8_t* scratch, size_t length)
    {
       #if KVX_CRC_FOLDING
        if (length >= 64 && canFold())
        {
            scratch[0] ^= (uint8_t) (crc >> 8);
            scratch[1] ^= (uint8_t) crc;
            return crcFolded (scratch, length);
        }
       #endif

        return crcSliced (crc, scratch, length);
    }
}

uint16_t packageCrcBitwise (const void* data, size_t length)
{
    auto* bytes = static_cast<const uint8_t*> (data);
    uint16_t crc = 0;

    for (size_t i = 0; i < length; ++i)
    {
        crc = (uint16_t) (crc ^ (bytes[i] << 8));

        for (int bit = 0; bit < 8; ++bit)
            crc = (uint16_t) ((crc & 0x8000) ? (crc << 1) ^ crcPolynomial : crc << 1);
    }

    return crc;
}

namespace
{
    // Where the check takes a package's bytes from. Section data only ever goes through the
    // CRC, so a source never needs to hold more of it than it chooses to.
    class PackageBytes
    {
    public:
        virtual ~PackageBytes() = default;

        // Copies `count` bytes from `offset`; false when they cannot be had.
        virtual bool copy (size_t offset, size_t count, uint8_t* destination) = 0;

        // The CRC of `length` bytes from `offset`; false when they cannot be had.
        virtual bool crc (size_t offset, size_t length, uint16_t& result) = 0;
    };

    class MemoryBytes final : public PackageBytes
    {
    public:
        explicit MemoryBytes (const uint8_t* bytes) : data (bytes) {}

        bool copy (size_t offset, size_t count, uint8_t* destination) override
        {
            std::memcpy (destination, data + offset, count);
            return true;
        }

        bool crc (size_t offset, size_t length, uint16_t& result) override
        {
            result = packageCrc (data + offset, length);
            return true;
        }

    private:
        const uint8_t* data;
    };

    // The file, front to back, through one small buffer. Reading the whole file into one
    // block would mean filling as much fresh memory, which costs more than the reading.
    class FileBytes final : public PackageBytes
    {
    public:
        explicit FileBytes (juce::FileInputStream& input) : stream (input) {}

        bool allocated() const   { return chunk != nullptr; }

        bool copy (size_t offset, size_t count, uint8_t* destination) override
        {
            if (stream.getPosition() != (juce::int64) offset && ! stream.setPosition ((juce::int64) offset))
                return fail (offset);

            for (size_t done = 0; done < count;)
            {
                const auto got = stream.read (destination + done, (int) (count - done));

                if (got <= 0)
                    return fail (offset + done);

                done += (size_t) got;
            }

            return true;
        }

        bool crc (size_t offset, size_t length, uint16_t& result) override
        {
            uint16_t value = 0;

            for (size_t done = 0; done < length;)
            {
                const auto count = std::min (chunkSize, length - done);

                if (! copy (offset + done, count, chunk.get()))
                    return false;

                value = continuePackageCrc (value, chunk.get(), count);
                done += count;
            }

            result = value;
            return true;
        }

        // Where the file ended early, or SIZE_MAX when it never did.
        size_t shortAt = SIZE_MAX;

    private:
        bool fail (size_t offset)
        {
            shortAt = offset;
            return false;
        }

        // Large enough that the system calls do not count, small enough to stay in the cache.
        static constexpr size_t chunkSize = 256u << 10;

        juce::FileInputStream& stream;
        juce::HeapBlock<uint8_t> chunk { chunkSize };
    };

    uint32_t checkPackageBytes (PackageBytes& bytes, size_t size, const char* signature,
                                int* version, PackageSection* sections,
                                std::string* reason, int* sectionsReached)
    {
        using namespace packageLayout;

        if (sectionsReached != nullptr)
            *sectionsReached = 0;

        if (size > std::numeric_limits<uint32_t>::max())
        {
            setReason (reason, "file is too large for a 32-bit size");
            return 0;
        }

        if (size < headerSize)
        {
            setReason (reason, "file ends inside the header");
            return 0;
        }

        uint8_t header[headerSize];

        if (! bytes.copy (0, headerSize, header))
            return 0;

        if (version != nullptr)
            *version = 100 * (header[versionOffset] - 0x30)
                     + 10 * (header[versionOffset + 1] - 0x30)
                     + (header[versionOffset + 2] - 0x30);

        size_t offset = headerSize;

        for (int k = 0; k < sectionCount; ++k)
        {
            const auto number = std::to_string (k + 1);
            const size_t remaining = size - offset;

            if (sectionsReached != nullptr)
                *sectionsReached = k + 1;

            if (remaining < dataOffset)
            {
                setReason (reason, "file ends inside the framing of section " + number);
                return 0;
            }

            uint8_t framing[dataOffset];

            if (! bytes.copy (offset, dataOffset, framing))
                return 0;

            if (std::memcmp (framing, signature, signatureLength) != 0)
            {
                setReason (reason, "section " + number + ": signature is not \"" + signature + "\"");
                return 0;
            }

            auto& record = sections[k];
            record.enabled = framing[flagOffset] == enabledFlag;
            record.length = readLittleEndian32 (framing + lengthOffset);

            if (record.length > remaining - dataOffset)
            {
                setReason (reason, "file ends inside the data of section " + number);
                return 0;
            }

            if (! bytes.crc (offset + dataOffset, record.length, record.crc))
                return 0;

            if (remaining - dataOffset - record.length < crcSize)
            {
                setReason (reason, "file ends inside the CRC of section " + number);
                return 0;
            }

            uint8_t storedBytes[crcSize];

            if (! bytes.copy (offset + dataOffset + record.length, crcSize, storedBytes))
                return 0;

            const auto stored = readLittleEndian16 (storedBytes);

            if (stored != record.crc)
            {
                setReason (reason, "section " + number + ": CRC mismatch (stored " + hex16 (stored)
                                     + ", computed " + hex16 (record.crc) + ")");
                return 0;
            }

            offset += sectionFramingSize + record.length;
        }

        setReason (reason, {});
        return (uint32_t) (size - overhead);
    }
}

uint32_t checkUpdatePackage (const uint8_t* data, size_t size, const char* signature,
                             int* version, PackageSection* sections,
                             std::string* reason, int* sectionsReached)
{
    MemoryBytes bytes (data);
    return checkPackageBytes (bytes, size, signature, version, sections, reason, sectionsReached);
}

uint32_t readUpdatePackage (const juce::File& file, const char* signature, int* version,
                            PackageSection* sections, std::string* reason, int* sectionsReached)
{
    if (version != nullptr)
        *version = -1;

    if (sectionsReached != nullptr)
        *sectionsReached = 0;

    if (! file.existsAsFile())
    {
        setReason (reason, file.isDirectory() ? "not a file" : "file not found");
        return 0;
    }

    juce::FileInputStream stream (file);

    if (! stream.openedOk())
    {
        setReason (reason, "cannot open the file");
        return 0;
    }

    const auto totalLength = stream.getTotalLength();

    if (totalLength < 0 || (uint64_t) totalLength > std::numeric_limits<uint32_t>::max())
    {
        setReason (reason, "file is too large for a 32-bit size");
        return 0;
    }

    const auto size = (size_t) totalLength;
    FileBytes bytes (stream);

    if (! bytes.allocated())
    {
        setReason (reason, "not enough memory to read the file");
        return 0;
    }

    const auto payloadSize = checkPackageBytes (bytes, size, signature, version, sections, reason, sectionsReached);

    // The file became shorter while it was read: nothing of it counts.
    if (bytes.shortAt != SIZE_MAX)
    {
        if (version != nullptr)
            *version = -1;

        setReason (reason, "short read: the file ended at byte " + std::to_string (bytes.shortAt)
                             + " of " + std::to_string (size));
        return 0;
    }

    return payloadSize;
}

juce::File packageFileNextToExecutable (const char* fileName)
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
               .getSiblingFile (fileName);
}

uint32_t readUpdatePackage (const char* fileName, const char* signature, int* version,
                            PackageSection* sections)
{
    return readUpdatePackage (packageFileNextToExecutable (fileName), signature, version, sections);
}

void settleUpdatePackage (UpdatePackage& package, uint32_t payloadSize, int version)
{
    package.valid = version > 0 && payloadSize > 0
                 && payloadSize <= (uint32_t) std::numeric_limits<int>::max();
    package.version = package.valid ? version : -1;
    package.payloadSize = package.valid ? (int) payloadSize : 0;
}

uint64_t sectionFileOffset (const PackageSection* sections, int k)
{
    using namespace packageLayout;
    uint64_t offset = headerSize + dataOffset;

    for (int i = 0; i < k; ++i)
        offset += sections[i].length + sectionFramingSize;

    return offset;
}
