#include "update/PackageWriter.h"
#include "update/UpdatePackage.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <unistd.h>

using namespace packageLayout;

namespace
{
    std::vector<uint8_t> bytesOf (const char* text)
    {
        return { text, text + std::strlen (text) };
    }

    std::vector<uint8_t> randomBytes (size_t count, unsigned seed)
    {
        std::mt19937 generator (seed);
        std::vector<uint8_t> bytes (count);

        for (auto& b : bytes)
            b = (uint8_t) generator();

        return bytes;
    }

    std::vector<PackageSectionSource> eightSections()
    {
        std::vector<PackageSectionSource> sections;

        for (unsigned k = 0; k < 8; ++k)
            sections.push_back ({ randomBytes (100 + 37 * k, k), true });

        return sections;
    }

    size_t sectionStart (const std::vector<uint8_t>& file, int k)
    {
        size_t offset = headerSize;

        for (int i = 0; i < k; ++i)
        {
            uint32_t length;
            std::memcpy (&length, &file[offset + lengthOffset], 4);
            offset += sectionFramingSize + length;
        }

        return offset;
    }

    struct Checked
    {
        uint32_t payloadSize;
        int version;
        PackageSection sections[8];
        std::string reason;
        UpdatePackage package;
    };

    Checked check (const std::vector<uint8_t>& file)
    {
        Checked result {};
        result.version = -1;
        result.payloadSize = checkUpdatePackage (file.data(), file.size(), signature,
                                                 &result.version, result.sections, &result.reason);
        settleUpdatePackage (result.package, result.payloadSize, result.version);
        return result;
    }
}

TEST (PackageCrc, MatchesTheXmodemCheckValueAndTheBitwiseDefinition)
{
    EXPECT_EQ (packageCrc ("123456789", 9), 0x31C3);
    EXPECT_EQ (packageCrc ("", 0), 0x0000);

    // Around every step of the fast paths: 8-byte slices, 16-byte blocks, 64-byte rounds.
    for (size_t length : { 1u, 7u, 8u, 9u, 15u, 16u, 17u, 62u, 63u, 64u, 65u, 79u, 80u, 81u, 127u,
                           128u, 129u, 143u, 144u, 191u, 192u, 193u, 1000u, 4099u, 65536u, 100003u })
    {
        const auto data = randomBytes (length, (unsigned) length);
        EXPECT_EQ (packageCrc (data.data(), length), packageCrcBitwise (data.data(), length))
            << "length " << length;
    }

    // All ones and all zeros keep every term of the folded value in play.
    for (uint8_t fill : { 0x00, 0xFF })
    {
        const std::vector<uint8_t> data (4096 + 13, fill);
        EXPECT_EQ (packageCrc (data.data(), data.size()), packageCrcBitwise (data.data(), data.size()))
            << "fill " << (int) fill;
    }
}

TEST (PackageReader, ACorrectPackageGivesVersionAndTheSumOfItsLengths)
{
    const auto sections = eightSections();
    const auto result = check (writeUpdatePackage (123, sections));

    uint32_t sum = 0;
    for (auto& s : sections)
        sum += (uint32_t) s.data.size();

    EXPECT_EQ (result.payloadSize, sum);
    EXPECT_EQ (result.version, 123);
    EXPECT_TRUE (result.package.valid);
    EXPECT_EQ (result.package.version, 123);
    EXPECT_EQ (result.package.payloadSize, (int) sum);

    for (int k = 0; k < 8; ++k)
    {
        const auto& data = sections[(size_t) k].data;
        EXPECT_TRUE (result.sections[k].enabled);
        EXPECT_EQ (result.sections[k].length, data.size());
        EXPECT_EQ (result.sections[k].crc, packageCrcBitwise (data.data(), data.size()));
    }
}

TEST (PackageReader, ATailAfterTheEighthSectionRaisesOnlyThePayloadSize)
{
    auto file = writeUpdatePackage (123, eightSections());
    const auto plain = check (file).payloadSize;
    file.insert (file.end(), 10, 0xAB);

    EXPECT_EQ (check (file).payloadSize, plain + 10);
}

TEST (PackageReader, OnlyAnUpperCaseYFlagEnablesASection)
{
    for (uint8_t flag : { (uint8_t) 'N', (uint8_t) 'y', (uint8_t) 0x00, (uint8_t) 'Y' })
    {
        auto file = writeUpdatePackage (123, eightSections());
        file[sectionStart (file, 2) + flagOffset] = flag;
        const auto result = check (file);

        EXPECT_TRUE (result.package.valid) << "flag " << (int) flag;
        EXPECT_EQ (result.sections[2].enabled, flag == 'Y') << "flag " << (int) flag;
        EXPECT_EQ (result.sections[3].length, eightSections()[3].data.size());
    }
}

TEST (PackageReader, EmptySectionsAreValidWithCrcZero)
{
    std::vector<PackageSectionSource> sections { { {}, true }, { bytesOf ("123456789"), true } };
    const auto result = check (writeUpdatePackage (101, sections));

    EXPECT_TRUE (result.package.valid);
    EXPECT_EQ (result.sections[0].length, 0u);
    EXPECT_EQ (result.sections[0].crc, 0);
    EXPECT_EQ (result.sections[1].crc, 0x31C3);
    EXPECT_FALSE (result.sections[2].enabled);
    EXPECT_EQ (result.payloadSize, 9u);
}

TEST (PackageReader, VersionDigitsAreTakenAsRawByteValues)
{
    struct Case { uint8_t digits[3]; int version; bool valid; };
    const Case cases[] = {
        { { '1', '2', '3' }, 123, true },
        { { '0', '0', '0' }, 0, false },
        { { 0x31, 0x41, 0x33 }, 273, true },
        { { '0', '0', '1' }, 1, true },
        { { '0', '/', '0' }, -10, false },
    };

    for (const auto& c : cases)
    {
        auto file = writeUpdatePackage (123, eightSections());
        std::memcpy (&file[versionOffset], c.digits, 3);
        const auto result = check (file);

        EXPECT_EQ (result.version, c.version);
        EXPECT_GT (result.payloadSize, 0u);
        EXPECT_EQ (result.package.valid, c.valid) << c.version;
        EXPECT_EQ (result.package.version, c.valid ? c.version : -1);
        EXPECT_EQ (result.package.payloadSize, c.valid ? (int) result.payloadSize : 0);
    }
}

TEST (PackageReader, AllSectionsEmptyIsReadButNotValid)
{
    const auto file = writeUpdatePackage (123, {});
    ASSERT_EQ (file.size(), overhead);

    const auto result = check (file);
    EXPECT_EQ (result.payloadSize, 0u);
    EXPECT_EQ (result.version, 123);
    EXPECT_FALSE (result.package.valid);
}

TEST (PackageReader, DamagedFilesAreInvalidWithTheFirstReason)
{
    struct Case
    {
        const char* name;
        std::function<void (std::vector<uint8_t>&)> damage;
        const char* reason;
    };

    const Case cases[] = {
        { "seventh signature byte not a blank",
          [] (auto& f) { f[sectionStart (f, 0) + 6] = '_'; },
          "section 1: signature is not \"KVX-70 \"" },
        { "lower-case signature",
          [] (auto& f) { std::memcpy (&f[sectionStart (f, 4)], "kvx-70 ", 7); },
          "section 5: signature is not \"KVX-70 \"" },
        { "damaged data in the eighth section",
          [] (auto& f) { f[sectionStart (f, 7) + dataOffset + 3] ^= 0x01; },
          "section 8: CRC mismatch" },
        { "damaged stored CRC",
          [] (auto& f) { f[sectionStart (f, 2) + dataOffset + 174] ^= 0xFF; },
          "section 3: CRC mismatch" },
        { "ends inside the header",
          [] (auto& f) { f.resize (20); },
          "file ends inside the header" },
        { "ends inside a section's framing",
          [] (auto& f) { f.resize (sectionStart (f, 3) + 20); },
          "file ends inside the framing of section 4" },
        { "ends inside a section's data",
          [] (auto& f) { f.resize (sectionStart (f, 4) + dataOffset + 10); },
          "file ends inside the data of section 5" },
        { "ends inside a section's CRC",
          [] (auto& f) { f.resize (sectionStart (f, 8) - 1); },
          "file ends inside the CRC of section 8" },
        { "a length that runs past the end",
          [] (auto& f) { uint32_t huge = 0xFFFFFFF0; std::memcpy (&f[sectionStart (f, 1) + lengthOffset], &huge, 4); },
          "file ends inside the data of section 2" },
        { "an empty file",
          [] (auto& f) { f.clear(); },
          "file ends inside the header" },
    };

    for (const auto& c : cases)
    {
        auto file = writeUpdatePackage (123, eightSections());
        c.damage (file);

        // A copy of exactly the damaged size: anything read past it is a sanitizer finding.
        std::vector<uint8_t> exact (file.begin(), file.end());
        const auto result = check (exact);

        EXPECT_EQ (result.payloadSize, 0u) << c.name;
        EXPECT_FALSE (result.package.valid) << c.name;
        EXPECT_EQ (result.reason.rfind (c.reason, 0), 0u) << c.name << ": " << result.reason;
    }
}

TEST (PackageReader, AFailedSectionKeepsTheVersionRead)
{
    auto file = writeUpdatePackage (207, eightSections());
    file[sectionStart (file, 5)] = 'X';
    const auto result = check (file);

    EXPECT_EQ (result.version, 207);
    EXPECT_FALSE (result.package.valid);
    EXPECT_EQ (result.package.version, -1);
}

TEST (PackageReader, SectionCodesAreNotChecked)
{
    auto file = writeUpdatePackage (123, eightSections());
    std::memcpy (&file[sectionStart (file, 0) + sectionCodeOffset], "zz!?", 4);
    EXPECT_TRUE (check (file).package.valid);
}

TEST (PackageReader, DataOffsetsFollowTheRecordedLengths)
{
    const auto file = writeUpdatePackage (123, eightSections());
    const auto result = check (file);

    EXPECT_EQ (sectionFileOffset (result.sections, 0), 72u);

    for (int k = 0; k < 8; ++k)
        EXPECT_EQ (sectionFileOffset (result.sections, k), sectionStart (file, k) + dataOffset);
}

class PackageFileTest : public ::testing::Test
{
protected:
    // A name of this test process's own next to the test executable, so that parallel
    // test processes never share a file.
    const std::string name = "reader-test-" + std::to_string (::getpid()) + ".upd";
    juce::File nextToExecutable = packageFileNextToExecutable (name.c_str());
    juce::TemporaryFile elsewhere { ".upd" };

    void TearDown() override
    {
        nextToExecutable.deleteRecursively();
    }

    static void write (const juce::File& file, const std::vector<uint8_t>& bytes)
    {
        ASSERT_TRUE (file.replaceWithData (bytes.data(), bytes.size()));
    }
};

TEST_F (PackageFileTest, TheFileIsFoundNextToTheExecutable)
{
    write (nextToExecutable, writeUpdatePackage (123, eightSections()));

    int version = 0;
    PackageSection sections[8];
    EXPECT_GT (readUpdatePackage (name.c_str(), signature, &version, sections), 0u);
    EXPECT_EQ (version, 123);
}

TEST_F (PackageFileTest, AFileOnlyInTheWorkingDirectoryIsNotFound)
{
    const auto directory = elsewhere.getFile().getParentDirectory();
    write (directory.getChildFile (name), writeUpdatePackage (123, eightSections()));
    const auto previous = juce::File::getCurrentWorkingDirectory();
    directory.setAsCurrentWorkingDirectory();

    int version = 0;
    PackageSection sections[8];
    EXPECT_EQ (readUpdatePackage (name.c_str(), signature, &version, sections), 0u);
    EXPECT_EQ (version, -1);

    previous.setAsCurrentWorkingDirectory();
    directory.getChildFile (name).deleteFile();
}

TEST_F (PackageFileTest, MissingFilesAndDirectoriesAreInvalidWithVersionMinusOne)
{
    int version = 0;
    PackageSection sections[8];
    std::string reason;

    EXPECT_EQ (readUpdatePackage (nextToExecutable, signature, &version, sections, &reason), 0u);
    EXPECT_EQ (version, -1);
    EXPECT_EQ (reason, "file not found");

    ASSERT_TRUE (nextToExecutable.createDirectory());
    version = 0;
    EXPECT_EQ (readUpdatePackage (nextToExecutable, signature, &version, sections, &reason), 0u);
    EXPECT_EQ (version, -1);
    EXPECT_EQ (reason, "not a file");
}

// A file larger than a 32-bit size is refused before anything is allocated or read; a large
// file within it is read whole and checked like any other. Sparse files: no disk space used.
TEST_F (PackageFileTest, OversizedFilesAreInvalidWithoutBeingRead)
{
    struct Case
    {
        const char* name;
        int64_t size;
        const char* reason;
    };

    const Case cases[] = {
        { "one byte over 4 GiB", (int64_t (1) << 32) + 1, "file is too large for a 32-bit size" },
        { "64 MiB of zeros", int64_t (64) << 20, "section 1: signature is not" },
    };

    for (const auto& c : cases)
    {
        ASSERT_TRUE (elsewhere.getFile().create()) << c.name;
        ASSERT_EQ (::truncate (elsewhere.getFile().getFullPathName().toRawUTF8(), (off_t) c.size), 0) << c.name;

        int version = 0;
        PackageSection sections[8];
        std::string reason;

        EXPECT_EQ (readUpdatePackage (elsewhere.getFile(), signature, &version, sections, &reason), 0u) << c.name;
        EXPECT_EQ (reason.rfind (c.reason, 0), 0u) << c.name << ": " << reason;
    }
}

// The file is read in chunks, and each section's CRC carried from one chunk to the next:
// whatever the lengths around the chunk size, reading the file must agree with checking
// its bytes in memory, for a correct file and for one damaged deep inside a long section.
TEST_F (PackageFileTest, ReadingTheFileAgreesWithCheckingItsBytesWhateverTheLengths)
{
    const size_t lengths[] = { 0, 1, 63, 64, 65, (256u << 10) - 1, (256u << 10) + 1, 600001 };
    std::vector<PackageSectionSource> sources;

    for (unsigned k = 0; k < 8; ++k)
        sources.push_back ({ randomBytes (lengths[k], 40 + k), k != 3 });

    auto file = writeUpdatePackage (204, sources);
    const auto deep = sectionStart (file, 7) + dataOffset + 300000;

    for (const bool damaged : { false, true })
    {
        if (damaged)
            file[deep] ^= 0x5A;

        write (elsewhere.getFile(), file);
        const auto inMemory = check (file);

        int version = 0;
        PackageSection sections[8];
        std::string reason;
        const auto payloadSize = readUpdatePackage (elsewhere.getFile(), signature, &version, sections, &reason);

        EXPECT_EQ (payloadSize, inMemory.payloadSize) << "damaged " << damaged;
        EXPECT_EQ (version, inMemory.version);
        EXPECT_EQ (reason, inMemory.reason);

        for (int k = 0; k < 8; ++k)
        {
            EXPECT_EQ (sections[k].length, inMemory.sections[k].length) << "section " << k + 1;
            EXPECT_EQ (sections[k].crc, inMemory.sections[k].crc) << "section " << k + 1;
            EXPECT_EQ (sections[k].enabled, inMemory.sections[k].enabled) << "section " << k + 1;
        }
    }

    EXPECT_EQ (check (file).reason.rfind ("section 8: CRC mismatch", 0), 0u);
}
