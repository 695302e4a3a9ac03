#include "TransferTestDevice.h"

#include "update/FirmwareTransfer.h"
#include "update/ScreenState.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace transferTest;

namespace
{
    enum class Fault { gone, wrong, silent };

    const char* nameOf (Fault fault)
    {
        switch (fault)
        {
            case Fault::gone:   return "device gone";
            case Fault::wrong:  return "wrong answer";
            case Fault::silent: return "no answer";
        }

        return "";
    }

    // A TransferLink that answers at once from a Controller, or from a fault from report
    // `faultAt` on, and records everything the exchange does. Nothing here waits: a missing
    // answer is an immediate time-out, whatever time-out was asked for.
    class ScriptedDevice : public TransferLink
    {
    public:
        Controller controller;

        // From report number `faultAt` (0-based) on, the device misbehaves: a gone device
        // reads once as the zeroed report, then never answers again; a wrong one answers
        // `wrongCode`; a silent one does not answer. Unless `persistent`, a wrong or silent
        // device is healthy again after that one report.
        std::optional<Fault> fault;
        size_t faultAt = 0;
        uint8_t wrongCode = 0;
        bool persistent = true;

        // Called as each report is sent, with its index.
        std::function<void (size_t, const OutputReport&)> onSend;

        std::vector<OutputReport> sent;
        std::vector<double> progressAtSend;   // `progress` as each report went out
        std::vector<double> progressSet;
        std::vector<int> states;
        std::vector<int> timeouts;            // asked for by each wait
        std::vector<int> pauses;
        double progress = -1.0;

        void sendReport (const uint8_t* report, size_t size) override
        {
            EXPECT_EQ (size, reportSize);
            OutputReport copy {};
            std::memcpy (copy.data(), report, std::min (size, reportSize));

            const auto index = sent.size();
            sent.push_back (copy);
            progressAtSend.push_back (progress);

            if (onSend)
                onSend (index, copy);

            pending = replyTo (index, copy);
        }

        bool awaitAnswer (int timeoutMs, uint8_t& code, uint8_t& value) override
        {
            timeouts.push_back (timeoutMs);

            if (! pending)
                return false;

            code = pending->code;
            value = pending->value;
            pending.reset();
            return true;
        }

        void postState (int screenState) override   { states.push_back (screenState); }
        void setProgress (double value) override     { progress = value; progressSet.push_back (value); }
        void pause (int milliseconds) override       { pauses.push_back (milliseconds); }

        std::string path() const                     { return pathOf (sent); }

    private:
        std::optional<Reply> pending;

        std::optional<Reply> replyTo (size_t index, const OutputReport& report)
        {
            const bool faulty = fault && index >= faultAt
                             && (index == faultAt || persistent || *fault == Fault::gone);

            if (! faulty)
                return controller.answer (report);

            switch (*fault)
            {
                case Fault::gone:   return index == faultAt ? std::optional<Reply> (Reply { noAnswer, 0 })
                                                            : std::nullopt;
                case Fault::wrong:  return Reply { wrongCode, 0 };
                case Fault::silent: return std::nullopt;
            }

            return std::nullopt;
        }
    };

    struct Outcome
    {
        bool done;
        double deviceProgress;
    };

    Outcome run (const PackageOnDisk& disk, ScriptedDevice& device, double deviceProgress = 0.0)
    {
        const bool done = runFirmwareTransfer (disk.package, disk.file, device, deviceProgress);
        return { done, deviceProgress };
    }

    UpdatePackage handMadePackage (int payloadSize, uint32_t firstLength, bool firstEnabled = true)
    {
        UpdatePackage package;
        package.valid = true;
        package.version = 123;
        package.payloadSize = payloadSize;
        package.sections[0] = { firstEnabled, firstLength, 0 };
        return package;
    }

    void expectPaddedData (const std::vector<uint8_t>& received, const std::vector<uint8_t>& data,
                           const std::string& what)
    {
        ASSERT_EQ (received.size(), dataReportCount ((uint32_t) data.size()) * dataBytesPerReport) << what;
        EXPECT_TRUE (std::equal (data.begin(), data.end(), received.begin())) << what;

        for (size_t i = data.size(); i < received.size(); ++i)
            ASSERT_EQ (received[i], dataPadding) << what << ", byte " << i;
    }

    // Section 1: three data reports (first, middle, last); section 2 not enabled; section 3:
    // two reports; section 4: one report, both first and last.
    std::vector<PackageSectionSource> faultFixture()
    {
        return { { pattern (150, 1), true }, { pattern (20, 2), false },
                 { pattern (70, 3), true }, { pattern (62, 4), true } };
    }

    const char* const healthyPath = "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q Q";
}

TEST (FirmwareTransfer, AHealthyControllerGetsEverySectionAndTheUpdateIsDone)
{
    PackageOnDisk disk (faultFixture());
    ScriptedDevice device;
    device.controller.statusAnswers = { { working, 50 }, { finished, 100 } };

    const auto outcome = run (disk, device);

    EXPECT_TRUE (outcome.done);
    EXPECT_EQ (device.path(), healthyPath);
    EXPECT_EQ (device.states, (std::vector<int> { updating, updateDone }));
    EXPECT_EQ (outcome.deviceProgress, 100.0);

    for (int k : { 0, 2, 3 })
        expectPaddedData (device.controller.received[(size_t) k], disk.sources[(size_t) k].data,
                          "section " + std::to_string (k + 1));

    EXPECT_TRUE (device.controller.received[1].empty());
}

TEST (FirmwareTransfer, TheDocumentedTimeoutsAreTheDefaults)
{
    PackageOnDisk disk ({ { pattern (70, 1), true } });
    ScriptedDevice device;
    device.controller.statusAnswers = { { working, 50 }, { finished, 100 } };

    ASSERT_TRUE (run (disk, device).done);
    ASSERT_EQ (device.path(), "H S1 D1 D1 Q Q");
    EXPECT_EQ (device.timeouts, (std::vector<int> { 10000, 10000, 180000, 180000, 10000, 10000 }));
    EXPECT_EQ (device.pauses, (std::vector<int> { 100, 100 }));

    ScriptedDevice injected;
    injected.controller.statusAnswers = { { finished, 100 } };
    double deviceProgress = 0.0;
    ASSERT_TRUE (runFirmwareTransfer (disk.package, disk.file, injected, deviceProgress, { 7, 11, 3 }));
    EXPECT_EQ (injected.timeouts, (std::vector<int> { 7, 7, 11, 11, 7 }));
    EXPECT_EQ (injected.pauses, (std::vector<int> { 3 }));
}

TEST (FirmwareTransfer, TheHeaderAnnouncesVersionPayloadSizeAndSections)
{
    std::vector<PackageSectionSource> sources { { pattern (1000, 9), true },
                                                { pattern (5, 8), false },
                                                { { '1', '2', '3', '4', '5', '6', '7', '8', '9' }, true } };
    PackageOnDisk disk (sources);

    ScriptedDevice device;
    device.fault = Fault::silent;
    run (disk, device);
    ASSERT_EQ (device.sent.size(), 1u);
    const auto& header = device.sent[0];

    EXPECT_EQ (header[0], 0xF0);
    EXPECT_EQ (header[1], 0x00);
    EXPECT_EQ (header[2], 0x07);   // 123 × 16 = 0x07B0
    EXPECT_EQ (header[3], 0xB0);

    const uint8_t first[] = { 0x81, 0xE8, 0x03, 0x00 };
    EXPECT_EQ (std::memcmp (&header[7], first, sizeof (first)), 0);
    EXPECT_EQ (header[7 + 6], 0x02);

    const uint8_t third[] = { 0x83, 0x09, 0x00, 0x00, 0xC3, 0x31 };
    EXPECT_EQ (std::memcmp (&header[7 + 12], third, sizeof (third)), 0);

    for (size_t k = 3; k < 8; ++k)
    {
        const uint8_t empty[] = { (uint8_t) (k + 1), 0, 0, 0, 0, 0 };
        EXPECT_EQ (std::memcmp (&header[7 + 6 * k], empty, sizeof (empty)), 0) << "section " << k + 1;
    }

    for (size_t i = 55; i < 64; ++i)
        EXPECT_EQ (header[i], 0x00) << "byte " << i;

    sources[2].enabled = false;
    PackageOnDisk disabled (sources);
    ScriptedDevice second;
    second.fault = Fault::silent;
    run (disabled, second);
    ASSERT_EQ (second.sent.size(), 1u);
    EXPECT_EQ (second.sent[0][7 + 12], 0x03);
}

TEST (FirmwareTransfer, APayloadOf70000IsAnnouncedIn24BitsLittleEndian)
{
    ScriptedDevice device;
    device.fault = Fault::silent;
    double deviceProgress = 0.0;

    EXPECT_FALSE (runFirmwareTransfer (handMadePackage (70000, 1000), juce::File(), device, deviceProgress));
    ASSERT_EQ (device.sent.size(), 1u);

    const uint8_t expected[] = { 0x07, 0xB0, 0x70, 0x11, 0x01 };
    EXPECT_EQ (std::memcmp (&device.sent[0][2], expected, sizeof (expected)), 0);
}

TEST (FirmwareTransfer, SectionDataReachesTheControllerInOrderPaddedWithFF)
{
    for (size_t length : { 1u, 61u, 62u, 63u, 124u, 125u, 200u })
    {
        PackageOnDisk disk ({ { {}, false }, { pattern (length, (uint8_t) length), true } });
        ScriptedDevice device;
        const auto what = "length " + std::to_string (length);

        EXPECT_TRUE (run (disk, device).done) << what;

        std::string expected = "H S2";
        for (size_t j = 0; j < dataReportCount ((uint32_t) length); ++j)
            expected += " D2";

        EXPECT_EQ (device.path(), expected + " Q") << what;
        expectPaddedData (device.controller.received[1], disk.sources[1].data, what);
    }
}

TEST (FirmwareTransfer, A63ByteSectionTakesTwoReportsTheSecondWithOneDataByte)
{
    PackageOnDisk disk ({ { pattern (63, 5), true } });
    ScriptedDevice device;

    ASSERT_TRUE (run (disk, device).done);
    ASSERT_EQ (device.path(), "H S1 D1 D1 Q");

    const auto& second = device.sent[3];
    EXPECT_EQ (second[0], 0xF3);
    EXPECT_EQ (second[1], 1);
    EXPECT_EQ (second[2], disk.sources[0].data[62]);

    for (size_t i = 3; i < 64; ++i)
        EXPECT_EQ (second[i], 0xFF) << "byte " << i;
}

TEST (FirmwareTransfer, TheLastDataReportAcceptsSectionEndOrItsAlternativeOnly)
{
    struct Case { uint8_t endCode; bool done; const char* path; };
    const Case cases[] = {
        { sectionEnd,    true,  "H S1 D1 Q" },
        { sectionEndAlt, true,  "H S1 D1 Q" },
        { proceed,       false, "H S1 D1 Q" },
        { finished,      false, "H S1 D1 Q" },
    };

    for (const auto& c : cases)
    {
        PackageOnDisk disk ({ { pattern (62, 6), true } });
        ScriptedDevice device;
        device.controller.endCode = c.endCode;

        const auto outcome = run (disk, device);
        EXPECT_EQ (outcome.done, c.done) << "end code " << (int) c.endCode;
        EXPECT_EQ (device.path(), c.path) << "end code " << (int) c.endCode;
        EXPECT_EQ (device.states.back(), c.done ? updateDone : updateFailed);
    }
}

TEST (FirmwareTransfer, EmptySectionsAreStartedAndDisabledOnesSteppedOver)
{
    PackageOnDisk disk ({ { {}, true }, { pattern (100, 7), false }, { pattern (70, 8), true } });
    ScriptedDevice device;

    EXPECT_TRUE (run (disk, device).done);
    EXPECT_EQ (device.path(), "H S1 S3 D3 D3 Q");
    EXPECT_TRUE (device.controller.received[0].empty());

    // Read from behind the disabled section: the offsets follow its length.
    expectPaddedData (device.controller.received[2], disk.sources[2].data, "section 3");
}

TEST (FirmwareTransfer, ProgressShowsEachDataPercentWhenTheNextDataReportGoesOut)
{
    // 212 bytes in all: the data answers say 29, 58, 70 and 100 percent.
    PackageOnDisk disk ({ { pattern (150, 1), true }, { pattern (62, 2), true } });
    ScriptedDevice device;
    device.controller.statusAnswers = { { working, 60 }, { working, 80 }, { finished, 100 } };

    const auto outcome = run (disk, device);
    ASSERT_TRUE (outcome.done);
    ASSERT_EQ (device.path(), "H S1 D1 D1 D1 S2 D2 Q Q Q");

    const std::vector<double> expected { 0.0, 0.0, 0.0, 0.29, 0.58, 0.58, 0.70, 0.70, 0.6, 0.8 };
    ASSERT_EQ (device.progressAtSend.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ (device.progressAtSend[i], expected[i]) << "report " << i;

    EXPECT_DOUBLE_EQ (device.progress, 1.0);
    EXPECT_EQ (outcome.deviceProgress, 100.0);
}

TEST (FirmwareTransfer, StatusIsPolledUntilTheControllerHasFinished)
{
    PackageOnDisk disk ({ { pattern (10, 1), true } });
    ScriptedDevice device;
    device.controller.statusAnswers = { { working, 40 }, { working, 80 }, { finished, 100 } };

    EXPECT_TRUE (run (disk, device).done);
    EXPECT_EQ (device.path(), "H S1 D1 Q Q Q");
    EXPECT_EQ (device.pauses.size(), 3u);
    EXPECT_EQ (device.states, (std::vector<int> { updating, updateDone }));

    const std::vector<double> statusProgress (device.progressSet.end() - 3, device.progressSet.end());
    EXPECT_EQ (statusProgress, (std::vector<double> { 0.4, 0.8, 1.0 }));
}

TEST (FirmwareTransfer, AControllerThatNeverAnswersTheHeaderFailsWithoutStatusQuery)
{
    PackageOnDisk disk (faultFixture());
    ScriptedDevice device;
    device.fault = Fault::silent;

    EXPECT_FALSE (run (disk, device).done);
    EXPECT_EQ (device.path(), "H");
    EXPECT_EQ (device.timeouts, (std::vector<int> { 10000 }));
    EXPECT_EQ (device.states, (std::vector<int> { updating, updateFailed }));
}

// For each phase, a device that goes away, one that answers wrong and one that stops
// answering there: the update fails, and the reports sent follow the documented path.
TEST (FirmwareTransfer, EveryPhaseFailsForAGoneWrongOrSilentDevice)
{
    struct Case
    {
        const char* phase;
        size_t at;              // index of the report in the healthy path
        uint8_t wrongCode;
        const char* gonePath;
        const char* wrongPath;
        const char* silentPath;
    };

    // The healthy path is H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q Q (the first status answer is
    // `working`). A declined section start (wrong answer) is skipped, so a device that
    // keeps answering wrong fails only in the status phase.
    const Case cases[] = {
        { "header", 0, proceed, "H", "H", "H" },
        { "first section start", 1, sectionEnd,
          "H S1 Q", "H S1 S3 S4 Q", "H S1 Q" },
        { "later section start", 5, sectionEnd,
          "H S1 D1 D1 D1 S3 Q", "H S1 D1 D1 D1 S3 S4 Q", "H S1 D1 D1 D1 S3 Q" },
        { "first data report", 2, sectionEnd,
          "H S1 D1 Q", "H S1 D1 Q", "H S1 D1 Q" },
        { "middle data report", 3, sectionEnd,
          "H S1 D1 D1 Q", "H S1 D1 D1 Q", "H S1 D1 D1 Q" },
        { "last data report", 4, proceed,
          "H S1 D1 D1 D1 Q", "H S1 D1 D1 D1 Q", "H S1 D1 D1 D1 Q" },
        { "only data report of a section", 9, proceed,
          "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q", "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q",
          "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q" },
        { "first status query", 10, headerAccepted,
          "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q", "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q",
          "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q" },
        { "status query after working", 11, proceed,
          healthyPath, healthyPath, healthyPath },
    };

    for (const auto& c : cases)
    {
        for (auto fault : { Fault::gone, Fault::wrong, Fault::silent })
        {
            PackageOnDisk disk (faultFixture());
            ScriptedDevice device;
            device.controller.statusAnswers = { { working, 50 }, { finished, 100 } };
            device.fault = fault;
            device.faultAt = c.at;
            device.wrongCode = c.wrongCode;

            const auto what = std::string (c.phase) + ", " + nameOf (fault);
            const auto* path = fault == Fault::gone ? c.gonePath
                             : fault == Fault::wrong ? c.wrongPath : c.silentPath;

            EXPECT_FALSE (run (disk, device).done) << what;
            EXPECT_EQ (device.states, (std::vector<int> { updating, updateFailed })) << what;
            EXPECT_EQ (device.path(), path) << what;
        }
    }
}

// One bad answer, after which the controller behaves and even reports `finished`: only a
// declined section start leaves the outcome at `updateDone`.
TEST (FirmwareTransfer, ASingleFailureStaysAFailureEvenWhenTheControllerFinishes)
{
    struct Case
    {
        const char* name;
        size_t at;
        Fault fault;
        uint8_t wrongCode;
        bool done;
        const char* path;
    };

    const Case cases[] = {
        { "section start declined", 1, Fault::wrong, sectionEnd, true,
          "H S1 S3 D3 D3 S4 D4 Q" },
        { "section start woken by a device change", 1, Fault::gone, 0, false, "H S1 Q" },
        { "section start unanswered", 5, Fault::silent, 0, false, "H S1 D1 D1 D1 S3 Q" },
        { "middle data report answered wrong", 3, Fault::wrong, finished, false, "H S1 D1 D1 Q" },
        { "last data report unanswered", 7, Fault::silent, 0, false, "H S1 D1 D1 D1 S3 D3 D3 Q" },
        { "status woken by a device change", 10, Fault::gone, 0, false, "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q" },
    };

    for (const auto& c : cases)
    {
        PackageOnDisk disk (faultFixture());
        ScriptedDevice device;
        device.fault = c.fault;
        device.faultAt = c.at;
        device.wrongCode = c.wrongCode;
        device.persistent = false;

        EXPECT_EQ (run (disk, device).done, c.done) << c.name;
        EXPECT_EQ (device.states.back(), c.done ? updateDone : updateFailed) << c.name;
        EXPECT_EQ (device.path(), c.path) << c.name;
    }
}

TEST (FirmwareTransfer, NothingIsSentForAPackageTheHeaderCannotAnnounce)
{
    struct Case
    {
        const char* name;
        UpdatePackage package;
        bool headerSent;
    };

    const Case cases[] = {
        { "payload size 0", handMadePackage (0, 0), false },
        { "payload size above 24 bits", handMadePackage (0x1000000, 100), false },
        { "enabled section above 24 bits", handMadePackage (100, 0x1000000), false },
        { "payload size of exactly 24 bits", handMadePackage (0xFFFFFF, 100), true },
        { "section of exactly 24 bits", handMadePackage (0xFFFFFF, 0xFFFFFF), true },
    };

    for (const auto& c : cases)
    {
        ScriptedDevice device;
        device.fault = Fault::silent;
        double deviceProgress = 0.0;

        EXPECT_FALSE (runFirmwareTransfer (c.package, juce::File(), device, deviceProgress)) << c.name;
        EXPECT_EQ (device.path(), c.headerSent ? "H" : "") << c.name;
        EXPECT_EQ (device.states, (std::vector<int> { updating, updateFailed })) << c.name;
    }
}

// The file is read again for each section; data that no longer matches what was checked
// is never sent, and the update fails even though the controller finishes.
TEST (FirmwareTransfer, APackageFileChangedSinceItWasCheckedIsNotSent)
{
    struct Case
    {
        const char* name;
        std::function<void (PackageOnDisk&)> change;
        const char* path;
    };

    const Case cases[] = {
        { "a data byte of section 3 changed",
          [] (auto& disk) { disk.bytes[disk.dataOffset (2) + 40] ^= 0x01; disk.rewrite(); },
          "H S1 D1 D1 D1 Q" },
        { "cut inside section 3",
          [] (auto& disk) { disk.bytes.resize (disk.dataOffset (2) + 30); disk.rewrite(); },
          "H S1 D1 D1 D1 Q" },
        { "cut before section 3",
          [] (auto& disk) { disk.bytes.resize (disk.dataOffset (1)); disk.rewrite(); },
          "H S1 D1 D1 D1 Q" },
        { "deleted",
          [] (auto& disk) { disk.file.deleteFile(); },
          "H S1 D1 D1 D1 Q" },
    };

    for (const auto& c : cases)
    {
        PackageOnDisk disk (faultFixture());
        ScriptedDevice device;

        // Changed while section 1 is on its way, after it was read.
        device.onSend = [&] (size_t index, const OutputReport&) { if (index == 3) c.change (disk); };

        EXPECT_FALSE (run (disk, device).done) << c.name;
        EXPECT_EQ (device.path(), c.path) << c.name;
        EXPECT_EQ (device.states, (std::vector<int> { updating, updateFailed })) << c.name;
    }

    PackageOnDisk missing (faultFixture());
    missing.file.deleteFile();
    ScriptedDevice device;
    EXPECT_FALSE (run (missing, device).done);
    EXPECT_EQ (device.path(), "H Q");
}
