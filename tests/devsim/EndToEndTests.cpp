// A whole update between kvx-devsim and the device link: HidCtrl on the real libdevhid,
// notifications through the JUCE message thread, the report exchange on a thread of its own,
// as the updater runs it.

#include "DevsimProcess.h"
#include "UpdateScript.h"

#include "device/HidCtrl.h"
#include "tools/VirtualController.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

using namespace reportProtocol;
using namespace updateScript;

namespace
{
    // The updater's side in miniature: the client of HidCtrl copies each input report and
    // wakes the exchange, which waits for one answer after every report.
    class Updater : public HidHandler
    {
    public:
        void deviceRemoved() override { note ("removed"); wake(); }
        void deviceArrived() override { note ("arrived " + std::to_string (ctrl.firmwareVersion)); wake(); }

        void reportReceived() override
        {
            if (updating)
            {
                std::memcpy (inputReport, ctrl.lastReport, sizeof (inputReport));
                reportEvent.signal();
            }
        }

        // Runs on the exchange's thread. True when every step got the answer it needs and
        // the controller finished.
        bool run (const Fixture& fixture)
        {
            updating = true;
            bool success = true;

            if (! step (makeUpdateHeader (fixture.package), commandTimeout) || answer() != headerAccepted)
                return false;

            for (int number = 1; number <= packageLayout::sectionCount && success; ++number)
            {
                if (! fixture.package.sections[number - 1].enabled)
                    continue;

                if (! step (makeSectionStart (number), commandTimeout))
                {
                    success = false;
                    break;
                }
                if (answer() != proceed)
                    continue;

                const auto reports = dataReports (fixture, number);
                for (size_t j = 0; j < reports; ++j)
                {
                    if (! step (dataReport (fixture, number, j), dataTimeoutMs))
                    {
                        success = false;
                        break;
                    }
                    const bool last = j + 1 == reports;
                    const bool expected = last ? (answer() == sectionEnd || answer() == sectionEndAlt)
                                               : answer() == proceed;
                    if (! expected)
                    {
                        success = false;
                        break;
                    }
                }
            }

            for (;;)
            {
                if (! step (makeStatusQuery(), commandTimeout))
                    return false;
                if (answer() == finished)
                    return success;
                if (answer() != working)
                    return false;
                ++workingAnswers;
            }
        }

        std::vector<std::string> events;   // message thread
        HidCtrl ctrl;
        int workingAnswers = 0;

        // The updater's 10 s; shortened where a test waits for it to run out.
        int commandTimeout = commandTimeoutMs;

    private:
        bool step (const OutputReport& report, int timeoutMs)
        {
            ctrl.sendReport (report.data(), (int) report.size());
            if (! reportEvent.wait (timeoutMs))
                return false;
            reportEvent.reset();
            return true;
        }

        uint8_t answer() const { return inputReport[answerCodeOffset]; }

        void note (const std::string& event) { events.push_back (event); }

        // A device change during the exchange reads as answer 0x00, which no step accepts.
        void wake()
        {
            if (updating)
            {
                std::memset (inputReport, 0, sizeof (inputReport));
                reportEvent.signal();
            }
        }

        std::atomic<bool> updating { false };
        juce::WaitableEvent reportEvent;
        uint8_t inputReport[HidCtrl::reportCapacity] = {};
    };

    class EndToEnd : public ::testing::Test
    {
    protected:
        template <typename Condition>
        bool dispatchUntil (Condition&& condition, int limitMs = 20000)
        {
            for (int waited = 0; waited < limitMs && ! condition(); waited += 5)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (5);
            return condition();
        }

        // Opens the link, starts kvx-devsim and waits until HidCtrl has it.
        void connect (std::vector<std::string> options)
        {
            ASSERT_TRUE (updater.ctrl.open (&updater, 1));
            ASSERT_EQ (updater.ctrl.connectionState, HidCtrl::disconnected);

            options.insert (options.begin(), { "--timeout", "60", "--save", saveFolder.getFile().getFullPathName().toStdString() });
            ASSERT_TRUE (devsim.start (options));
            ASSERT_TRUE (dispatchUntil ([this] { return updater.ctrl.connectionState != HidCtrl::disconnected; }))
                << devsim.output();
        }

        // Runs the exchange on its own thread while the message thread dispatches.
        bool transfer (const Fixture& fixture)
        {
            std::atomic<bool> done { false };
            bool result = false;
            std::thread exchange ([&] { result = updater.run (fixture); done = true; });
            dispatchUntil ([&] { return done.load(); }, 120000);
            exchange.join();
            return result;
        }

        void TearDown() override
        {
            saveFolder.getFile().deleteRecursively();
        }

        int finish()
        {
            updater.ctrl.close();
            return devsim.wait (20000, [] { juce::MessageManager::getInstance()->runDispatchLoopUntil (5); });
        }

        std::vector<uint8_t> saved (int number)
        {
            juce::MemoryBlock data;
            saveFolder.getFile().getChildFile ("section-" + juce::String (number) + ".bin").loadFileAsData (data);
            const auto* bytes = static_cast<const uint8_t*> (data.getData());
            return std::vector<uint8_t> (bytes, bytes + data.getSize());
        }

        juce::ScopedJuceInitialiser_GUI juce;
        juce::TemporaryFile saveFolder;
        Updater updater;
        DevsimProcess devsim;
    };
}

TEST_F (EndToEnd, AWholeUpdateReachesTheVirtualControllerIntactAndItRebootsIntoTheNewVersion)
{
    // Lengths around the report size, an empty section, a section left out, and a larger one.
    const auto fixture = makeFixture ({ 62, 63, 0, 2000, 300, 1 }, { 5 }, 123);
    connect ({ "--reboot" });
    EXPECT_EQ (updater.ctrl.firmwareVersion, 100);
    EXPECT_EQ (updater.events, (std::vector<std::string> { "arrived 100" }));

    EXPECT_TRUE (transfer (fixture)) << devsim.output();
    EXPECT_EQ (updater.ctrl.connectionState, HidCtrl::inUse);
    EXPECT_EQ (updater.workingAnswers, 3);

    // It leaves and comes back with the firmware it was sent: the written link reports the
    // removal, and the controller is taken on again at its arrival.
    EXPECT_TRUE (dispatchUntil ([this] { return updater.events.size() >= 3; })) << devsim.output();
    EXPECT_EQ (updater.events, (std::vector<std::string> { "arrived 100", "removed", "arrived 123" }));
    EXPECT_EQ (updater.ctrl.connectionState, HidCtrl::connected);

    EXPECT_EQ (finish(), 0) << devsim.output();
    for (const int number : { 1, 2, 3, 4, 6 })
        EXPECT_EQ (saved (number), sectionBytes (fixture, number)) << "section " << number;
    EXPECT_FALSE (saveFolder.getFile().getChildFile ("section-5.bin").exists()) << "section 5 is not sent";
    EXPECT_TRUE (devsim.printed ("summary: update 1.23 complete and correct: 5 sections, 2126 bytes")) << devsim.output();
}

TEST_F (EndToEnd, AWrongAnswerInTheDataFailsTheUpdateOnBothSides)
{
    const auto fixture = makeFixture ({ 620, 620 });
    connect ({ "--wrong-at", "data:12" });

    EXPECT_FALSE (transfer (fixture));
    EXPECT_EQ (finish(), 1) << devsim.output();
    EXPECT_EQ (saved (1), sectionBytes (fixture, 1));
    EXPECT_TRUE (devsim.printed ("status: rejected, section 2 unfinished")) << devsim.output();
}

TEST_F (EndToEnd, AControllerThatLeavesMidwayFailsTheUpdate)
{
    const auto fixture = makeFixture ({ 620 });
    connect ({ "--leave-after", "5" });

    // With the controller gone the status query is written nowhere and runs into its time-out.
    updater.commandTimeout = 500;

    EXPECT_FALSE (transfer (fixture));
    EXPECT_EQ (updater.ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_EQ (updater.events.back(), "removed");
    EXPECT_EQ (finish(), 1) << devsim.output();
}
