#include "update/PackageWriter.h"
#include "update/UpdatePackage.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

namespace
{
    struct Run
    {
        int exitCode;
        juce::String output;
    };

    // Runs build/bin/kvx-package (the tests' working directory is build/bin) and collects
    // its standard output, or its standard error when `errors` is set.
    Run kvxPackage (const juce::StringArray& arguments, bool errors = false)
    {
        juce::StringArray command { juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                                        .getSiblingFile ("kvx-package").getFullPathName() };
        command.addArray (arguments);

        juce::ChildProcess process;
        EXPECT_TRUE (process.start (command, errors ? juce::ChildProcess::wantStdErr
                                                    : juce::ChildProcess::wantStdOut));
        const auto output = process.readAllProcessOutput();
        process.waitForProcessToFinish (10000);
        return { (int) process.getExitCode(), output };
    }

    class KvxPackageTest : public ::testing::Test
    {
    protected:
        juce::TemporaryFile folderMaker;
        juce::File folder = folderMaker.getFile().getSiblingFile ("kvx-package-test-"
                                + juce::String::toHexString (juce::Random::getSystemRandom().nextInt64()));

        void SetUp() override { ASSERT_TRUE (folder.createDirectory()); }
        void TearDown() override { folder.deleteRecursively(); }

        juce::String dataFile (const juce::String& name, size_t size)
        {
            juce::MemoryBlock block (size);
            for (size_t i = 0; i < size; ++i)
                static_cast<uint8_t*> (block.getData())[i] = (uint8_t) (i * 7 + size);
            if (size == 0)
                folder.getChildFile (name).create();     // replaceWithData deletes for no bytes
            else
                folder.getChildFile (name).replaceWithData (block.getData(), block.getSize());
            return folder.getChildFile (name).getFullPathName();
        }

        juce::String path (const juce::String& name) { return folder.getChildFile (name).getFullPathName(); }
    };
}

TEST_F (KvxPackageTest, CreateWritesWhatTheReaderAccepts)
{
    const auto out = path ("p.upd");
    const auto run = kvxPackage ({ "create", "-o", out, "--version", "1.23",
                                   "--section", dataFile ("a", 1000),
                                   "--section", dataFile ("b", 62) + ":off",
                                   "--section", dataFile ("c", 0) });
    ASSERT_EQ (run.exitCode, 0);

    int version = 0;
    PackageSection sections[8];
    EXPECT_EQ (readUpdatePackage (juce::File (out), packageLayout::signature, &version, sections), 1062u);
    EXPECT_EQ (version, 123);
    EXPECT_TRUE (sections[0].enabled);
    EXPECT_FALSE (sections[1].enabled);
    EXPECT_TRUE (sections[2].enabled);
    EXPECT_FALSE (sections[3].enabled);
    EXPECT_EQ (sections[1].length, 62u);
}

TEST_F (KvxPackageTest, InspectJsonDescribesAValidPackage)
{
    const auto out = path ("p.upd");
    ASSERT_EQ (kvxPackage ({ "create", "-o", out, "--version", "2.05", "--section", dataFile ("a", 9) }).exitCode, 0);

    const auto run = kvxPackage ({ "inspect", out, "--json" });
    EXPECT_EQ (run.exitCode, 0);

    const auto json = juce::JSON::parse (run.output);
    EXPECT_TRUE ((bool) json["valid"]);
    EXPECT_EQ ((int) json["version"], 205);
    EXPECT_EQ ((int) json["payloadSize"], 9);
    EXPECT_TRUE (json["error"].isVoid());
    ASSERT_EQ (json["sections"].size(), 8);
    EXPECT_EQ ((int) json["sections"][0]["number"], 1);
    EXPECT_TRUE ((bool) json["sections"][0]["enabled"]);
    EXPECT_EQ ((int) json["sections"][0]["length"], 9);
    EXPECT_FALSE ((bool) json["sections"][7]["enabled"]);
}

TEST_F (KvxPackageTest, InspectGivesTheFirstReasonAndExitOneForAnInvalidPackage)
{
    std::vector<PackageSectionSource> sections { { std::vector<uint8_t> (100, 1) },
                                                 { std::vector<uint8_t> (100, 2) },
                                                 { std::vector<uint8_t> (100, 3) } };
    auto bytes = writeUpdatePackage (123, sections);
    bytes[packageLayout::headerSize + 2 * (38 + 100) + 36 + 5] ^= 0x40;   // data of section 3
    juce::File (path ("bad.upd")).replaceWithData (bytes.data(), bytes.size());

    const auto text = kvxPackage ({ "inspect", path ("bad.upd") });
    EXPECT_EQ (text.exitCode, 1);
    EXPECT_TRUE (text.output.contains ("section 3: CRC mismatch (stored 0x")) << text.output;

    const auto json = juce::JSON::parse (kvxPackage ({ "inspect", "--json", path ("bad.upd") }).output);
    EXPECT_FALSE ((bool) json["valid"]);
    EXPECT_EQ ((int) json["version"], 123);
    EXPECT_EQ ((int) json["payloadSize"], 0);
    EXPECT_EQ (json["sections"].size(), 3);
    EXPECT_TRUE (json["error"].toString().startsWith ("section 3: CRC mismatch"));

    bytes.resize (packageLayout::headerSize + (38 + 100) + 36 + 50);
    juce::File (path ("short.upd")).replaceWithData (bytes.data(), bytes.size());
    const auto truncated = kvxPackage ({ "inspect", path ("short.upd") });
    EXPECT_EQ (truncated.exitCode, 1);
    EXPECT_TRUE (truncated.output.contains ("file ends inside the data of section 2")) << truncated.output;
}

TEST_F (KvxPackageTest, UnreadableFilesAndBadArgumentsExitTwo)
{
    const auto missing = kvxPackage ({ "inspect", path ("none.upd"), "--json" });
    EXPECT_EQ (missing.exitCode, 2);
    EXPECT_EQ ((int) juce::JSON::parse (missing.output)["version"], -1);

    EXPECT_EQ (kvxPackage ({ "inspect", folder.getFullPathName() }).exitCode, 2);

    struct Case { juce::StringArray arguments; const char* message; };
    const Case cases[] = {
        { {}, "Usage" },
        { { "frobnicate" }, "unknown command 'frobnicate'" },
        { { "create", "--version", "1.23" }, "-o FILE is required" },
        { { "create", "-o", "x.upd" }, "--version X.YZ is required" },
        { { "create", "-o", "x.upd", "--version", "0.00" }, "version '0.00'" },
        { { "create", "-o", "x.upd", "--version", "12.3" }, "version '12.3'" },
        { { "create", "-o", "x.upd", "--version", "1.23", "--section", "/no/such/file" }, "cannot read section data" },
        { { "create", "-o", "x.upd", "--bogus" }, "unknown argument '--bogus'" },
        { { "inspect" }, "FILE is required" },
        { { "inspect", "a", "b" }, "only one FILE" },
    };

    for (const auto& c : cases)
    {
        const auto run = kvxPackage (c.arguments, true);
        EXPECT_EQ (run.exitCode, 2) << c.arguments.joinIntoString (" ");
        EXPECT_TRUE (run.output.contains (c.message)) << run.output;
    }
}

TEST_F (KvxPackageTest, NineSectionsAreRefused)
{
    juce::StringArray arguments { "create", "-o", path ("p.upd"), "--version", "1.00" };
    for (int k = 0; k < 9; ++k)
        arguments.addArray ({ "--section", dataFile ("s" + juce::String (k), 10) });

    const auto run = kvxPackage (arguments, true);
    EXPECT_EQ (run.exitCode, 2);
    EXPECT_TRUE (run.output.contains ("at most eight sections"));
}

TEST_F (KvxPackageTest, EveryCommandHasHelp)
{
    for (const auto& arguments : { juce::StringArray { "--help" }, juce::StringArray { "create", "--help" },
                                   juce::StringArray { "inspect", "-h" } })
    {
        const auto run = kvxPackage (arguments);
        EXPECT_EQ (run.exitCode, 0);
        EXPECT_TRUE (run.output.startsWith ("Usage: kvx-package")) << run.output;
    }
}
