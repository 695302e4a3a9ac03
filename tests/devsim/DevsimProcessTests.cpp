// kvx-devsim as a program, against a scripted host on the real libdevhid: what it says on
// the bus, each fault option, its reboot, its exit status and its lines.

#include "DevsimProcess.h"
#include "UpdateScript.h"

#include "devhid/BusTestSupport.h"
#include "tools/VirtualController.h"

using namespace busTest;
using namespace reportProtocol;
using namespace updateScript;

namespace
{
    constexpr int nothing = -1;   // no answer came (the next report's answer came first)
    constexpr int left = -2;      // the device left the bus
    constexpr int R = VirtualController::rejectedAnswer;
    constexpr int H = headerAccepted, P = proceed, E = sectionEnd, W = working, F = finished;

    class Devsim : public BusLibrary
    {
    protected:
        // Starts kvx-devsim (no answer delay, a time limit, then the given options) and waits
        // for its arrival.
        void launch (std::vector<std::string> options)
        {
            options.insert (options.begin(), { "--delay", "0", "--timeout", "30" });
            ASSERT_TRUE (process.start (options));
            awaitArrival();
        }

        void awaitArrival()
        {
            const auto events = log.waitFor (seen + 1);
            ASSERT_GT (events.size(), seen) << process.output();
            ASSERT_EQ (events[seen].message, arrival);
            hid = (int32_t) events[seen].hidNumber;
            ++seen;
        }

        bool send (const OutputReport& report)
        {
            return HID_Write (hid, report.data(), (int32_t) report.size()) != 0;
        }

        // The answer code of the next event from the device, or left.
        int next()
        {
            const auto events = log.waitFor (seen + 1);
            if (events.size() <= seen)
                return nothing;

            const auto event = events[seen++];
            if (event.message == removal)
                return left;

            uint8_t buffer[256];
            int32_t length = sizeof (buffer);
            HID_Input (hid, buffer, &length);
            lastValue = length > 1 ? buffer[1] : -1;
            return length > 0 ? buffer[0] : nothing;
        }

        int exchange (const OutputReport& report)
        {
            return send (report) ? next() : left;
        }

        // A section's start and data as the updater sends them; the answers in order.
        std::vector<int> section (const Fixture& fixture, int number, int corruptReport = -1)
        {
            std::vector<int> answers { exchange (makeSectionStart (number)) };
            if (answers.back() != P)
                return answers;
            for (size_t j = 0; j < dataReports (fixture, number); ++j)
            {
                auto report = dataReport (fixture, number, j);
                if ((int) j == corruptReport)
                    report[reportProtocol::sectionDataOffset] ^= 0x80;
                answers.push_back (exchange (report));
            }
            return answers;
        }

        DevsimProcess process;
        int32_t hid = -1;
        size_t seen = 0;
        int lastValue = -1;
    };

    std::vector<int> joined (std::initializer_list<std::vector<int>> parts)
    {
        std::vector<int> all;
        for (const auto& part : parts)
            all.insert (all.end(), part.begin(), part.end());
        return all;
    }
}

TEST_F (Devsim, PlaysACompleteUpdateSavesEachSectionAndExitsZero)
{
    const auto fixture = makeFixture ({ 62, 124, 0, 1000 });
    juce::TemporaryFile folder;
    const auto saveFolder = folder.getFile().getFullPathName().toStdString();
    launch ({ "--save", saveFolder });

    EXPECT_EQ (HID_GetDeviceType (hid), 13);
    int32_t versions[2] = {};
    HID_GetFirmwareVersion (13, versions, 1);
    EXPECT_EQ (versions[0], 100);

    std::vector<int> answers { exchange (makeUpdateHeader (fixture.package)) };
    for (const int number : { 1, 2, 3, 4 })
    {
        const auto codes = section (fixture, number);
        answers.insert (answers.end(), codes.begin(), codes.end());
    }
    EXPECT_EQ (lastValue, 100);

    int status;
    while ((status = exchange (makeStatusQuery())) == W)
        answers.push_back (status);
    answers.push_back (status);
    EXPECT_EQ (lastValue, 100);

    std::vector<int> expected { H, P, E, P, P, E, P, P };
    expected.insert (expected.end(), 16, P);
    expected.insert (expected.end(), { E, W, W, W, F });
    EXPECT_EQ (answers, expected);

    // It stays until the updater goes, then sums up.
    HID_Stop();
    EXPECT_EQ (process.wait(), 0) << process.output();

    for (const int number : { 1, 2, 3, 4 })
    {
        SCOPED_TRACE (number);
        juce::MemoryBlock saved;
        ASSERT_TRUE (folder.getFile().getChildFile ("section-" + juce::String (number) + ".bin").loadFileAsData (saved));
        const auto* bytes = static_cast<const uint8_t*> (saved.getData());
        EXPECT_EQ (std::vector<uint8_t> (bytes, bytes + saved.getSize()), sectionBytes (fixture, number));
    }

    for (const char* line : { "kvx-devsim: on the bus as device type 13, firmware 1.00",
                              "header: version 1.23, 4 of 8 sections, 1186 bytes announced",
                              "section 2: start, 124 bytes announced",
                              "section 4: received 1000 bytes, CRC 0x",
                              "status: working 25%", "status: finished 100%",
                              "summary: update 1.23 complete and correct: 4 sections, 1186 bytes" })
        EXPECT_TRUE (process.printed (line)) << line << "\n" << process.output();

    folder.getFile().deleteRecursively();
}

TEST_F (Devsim, SaysHelloWithTheGivenTypeAndVersion)
{
    launch ({ "--type", "7", "--version", "2.45", "--name", "bench unit" });
    EXPECT_EQ (HID_GetDeviceType (hid), 7);
    int32_t versions[2] = {};
    EXPECT_EQ (HID_GetFirmwareVersion (7, versions, 1), 1);
    EXPECT_EQ (versions[0], 245);
    EXPECT_EQ (HID_GetFirmwareVersion (13, versions, 1), 0);
}

namespace
{
    struct FaultRun
    {
        const char* what;
        std::vector<std::string> options;
        int corruptDataOf = 0;          // section whose first data report is changed on the way
        std::vector<int> answers;
        int exitStatus;
        const char* line;
    };
}

TEST_F (Devsim, EachFaultOptionShowsOnTheBusAndInTheExitStatus)
{
    // Sections of 62, 124 and 62 bytes: data reports 1 | 2, 3 | 4.
    const auto fixture = makeFixture ({ 62, 124, 62 });
    const std::vector<int> header { H }, one { P, E }, two { P, P, E }, three { P, E };

    const FaultRun runs[] = {
        { "no answer to the header", { "--silent-at", "header" }, 0,
          { R }, 1, "fault: no answer to the header" },
        { "wrong answer to the header", { "--wrong-at", "header" }, 0,
          { R }, 1, "fault: wrong answer to the header" },
        { "no answer at a section start", { "--silent-at", "section:2" }, 0,
          joined ({ header, one, { P, E }, { W, F } }), 1, "summary: update 1.23 incomplete: section 2 not received" },
        { "wrong answer at a section start", { "--wrong-at", "section:2" }, 0,
          joined ({ header, one, { R }, three, { W, F } }), 1, "summary: update 1.23 incomplete: section 2 not received" },
        { "no answer at a data report", { "--silent-at", "data:2" }, 0,
          joined ({ header, one, { P, R } }), 1, "fault: no answer to data report 2" },
        { "wrong answer at a data report", { "--wrong-at", "data:2" }, 0,
          joined ({ header, one, { P, R, R } }), 1, "fault: wrong answer to data report 2" },
        { "no answer to the status", { "--silent-at", "status" }, 0,
          joined ({ header, one, two, three, { W, F } }), 0, "fault: no answer to the first status query" },
        { "wrong answer to the status", { "--wrong-at", "status" }, 0,
          joined ({ header, one, two, three, { R } }), 1, "fault: wrong answer to the first status query" },
        { "corrupted data", {}, 2,
          joined ({ header, one, two, three, { R } }), 1, "status: rejected, section 2 does not match the header" },
        { "leaving at the third report", { "--leave-after", "3" }, 0,
          joined ({ header, { P, left } }), 1, "kvx-devsim: left the bus at report 3" },
    };

    for (const auto& run : runs)
    {
        SCOPED_TRACE (run.what);
        TearDown();
        log.clear();
        seen = 0;
        SetUp();

        auto options = run.options;
        options.insert (options.end(), { "--working", "1" });
        launch (options);
        if (HasFatalFailure())
            return;

        const auto& silent = run.options.size() == 2 && run.options[0] == "--silent-at" ? run.options[1] : std::string();
        std::vector<int> answers;
        auto record = [&answers] (int code) { answers.push_back (code); return code; };

        // The host plays the updater, except that it sends the next report instead of waiting
        // for an answer that is not coming.
        if (silent == "header")
        {
            send (makeUpdateHeader (fixture.package));
            record (exchange (makeStatusQuery()));
        }
        else if (record (exchange (makeUpdateHeader (fixture.package))) == H)
        {
            bool failed = false;
            for (const int number : { 1, 2, 3 })
            {
                if (failed)
                    break;
                if (silent == "section:" + std::to_string (number))
                {
                    send (makeSectionStart (number));
                    continue;
                }
                const auto start = record (exchange (makeSectionStart (number)));
                failed = start == left;
                if (start != P)
                    continue;

                for (size_t j = 0; j < dataReports (fixture, number) && ! failed; ++j)
                {
                    auto report = dataReport (fixture, number, j);
                    if (number == run.corruptDataOf && j == 0)
                        report[reportProtocol::sectionDataOffset] ^= 0x80;

                    if (silent == "data:2" && number == 2 && j == 0)
                    {
                        send (report);
                        failed = true;
                        break;
                    }

                    const auto code = record (exchange (report));
                    const bool last = j + 1 == dataReports (fixture, number);
                    failed = code != (last ? E : P);
                }
            }

            if (silent == "status")
                send (makeStatusQuery());

            if (answers.back() != left)
                while (record (exchange (makeStatusQuery())) == W) {}
        }

        EXPECT_EQ (answers, run.answers);

        // The updater goes away after its outcome; the virtual controller then ends.
        HID_Stop();
        EXPECT_EQ (process.wait(), run.exitStatus) << process.output();
        EXPECT_TRUE (process.printed (run.line)) << process.output();
    }
}

TEST_F (Devsim, RebootsIntoTheNewVersionAfterSuccess)
{
    const auto fixture = makeFixture ({ 100 }, {}, 245);
    launch ({ "--reboot", "--working", "0" });
    const auto before = hid;

    EXPECT_EQ (exchange (makeUpdateHeader (fixture.package)), H);
    EXPECT_EQ (section (fixture, 1), (std::vector<int> { P, P, E }));
    EXPECT_EQ (exchange (makeStatusQuery()), F);

    EXPECT_EQ (next(), left);
    awaitArrival();
    EXPECT_EQ (hid, before + 1);
    int32_t versions[2] = {};
    HID_GetFirmwareVersion (13, versions, 1);
    EXPECT_EQ (versions[0], 245);

    HID_Stop();
    EXPECT_EQ (process.wait(), 0) << process.output();
    EXPECT_TRUE (process.printed ("reboot: left the bus"));
    EXPECT_TRUE (process.printed ("kvx-devsim: on the bus as device type 13, firmware 2.45"));
}

TEST_F (Devsim, WaitsForAnUpdaterAndForTheNextOneWhenItLeavesEarly)
{
    HID_Stop();
    ASSERT_TRUE (process.start ({ "--delay", "0", "--timeout", "30" }));
    std::this_thread::sleep_for (std::chrono::milliseconds (300));   // retrying meanwhile

    ASSERT_EQ (HID_Start(), 1);
    awaitArrival();

    // This updater leaves before it sends anything; the controller stays for the next.
    HID_Stop();
    log.clear();
    seen = 0;
    ASSERT_EQ (HID_Start(), 1);
    awaitArrival();

    EXPECT_EQ (exchange (makeStatusQuery()), R);
    HID_Stop();
    EXPECT_EQ (process.wait(), 1) << process.output();
    EXPECT_TRUE (process.printed ("kvx-devsim: the updater left; waiting for the next one"));
    EXPECT_TRUE (process.printed ("kvx-devsim: the updater left the bus"));
    EXPECT_TRUE (process.printed ("summary: no update received"));
}

TEST_F (Devsim, GivesUpWithExitThreeWhenNoUpdaterListens)
{
    HID_Stop();
    ASSERT_TRUE (process.start ({ "--timeout", "0.3" }));
    EXPECT_EQ (process.wait(), 3);
    EXPECT_TRUE (process.printed ("kvx-devsim: no updater listened in time")) << process.output();
}

TEST (DevsimUsage, HelpListsEveryOptionAndTheExitStatus)
{
    DevsimProcess process;
    ASSERT_TRUE (process.start ({ "--help" }));
    EXPECT_EQ (process.wait(), 0);

    for (const char* text : { "--type", "--version", "--name", "--delay", "--working", "--save", "--reboot",
                              "--silent-at", "--wrong-at", "--leave-after", "--timeout", "--help",
                              "section:K", "data:N", "Exit status" })
        EXPECT_TRUE (process.printed (text)) << text;
}

TEST (DevsimUsage, BadOptionsGiveOneLineAndExitTwo)
{
    struct Case { std::vector<std::string> arguments; const char* message; };
    const Case cases[] = {
        { { "--frobnicate" }, "kvx-devsim: unknown option '--frobnicate' (see --help)" },
        { { "--type" }, "kvx-devsim: --type needs a value" },
        { { "--type", "-1" }, "kvx-devsim: --type '-1' is not a device type 0 to 2147483647" },
        { { "--version", "1.2" }, "kvx-devsim: --version '1.2' is not X.YZ" },
        { { "--delay", "fast" }, "kvx-devsim: --delay 'fast' is not 0 to 10000 ms" },
        { { "--working", "101" }, "kvx-devsim: --working '101' is not 0 to 100" },
        { { "--silent-at", "section:9" }, "kvx-devsim: --silent-at 'section:9' is not header, section:K, data:N or status" },
        { { "--wrong-at", "everywhere" }, "kvx-devsim: --wrong-at 'everywhere' is not header, section:K, data:N or status" },
        { { "--leave-after", "0" }, "kvx-devsim: --leave-after '0' is not a number of reports from 1" },
        { { "--timeout", "0" }, "kvx-devsim: --timeout '0' is not a number of seconds above 0, at most 86400" },
        { { "--name", std::string (65, 'n') }, "kvx-devsim: --name is longer than 64 bytes" },
        { { "--save", "/proc/version" }, "kvx-devsim: --save '/proc/version' is not a folder and cannot be made one" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.message);
        DevsimProcess process;
        ASSERT_TRUE (process.start (c.arguments));
        EXPECT_EQ (process.wait(), 2);
        EXPECT_EQ (process.output(), std::string (c.message) + "\n");
    }
}
