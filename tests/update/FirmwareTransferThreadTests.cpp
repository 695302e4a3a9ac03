// The exchange on its own thread against a device on another, joined as in the program:
// the answering side copies each answer into `inputReport` and then signals the auto-reset
// `reportEvent`; the transfer waits with awaitReportAnswer.

#include "TransferTestDevice.h"

#include "update/FirmwareTransfer.h"
#include "update/ScreenState.h"

#include <juce_core/juce_core.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

using namespace transferTest;

namespace
{
    // Short time-outs: a missing answer costs milliseconds here, never the real 10 s.
    const TransferTimeouts shortTimeouts { 50, 50, 1 };

    class EventLink : public TransferLink
    {
    public:
        Controller controller;

        // Report index from which the controller is unplugged: the answering side then
        // zeroes `inputReport` and signals once, as a device removal does, and answers
        // nothing more.
        size_t unplugAt = SIZE_MAX;

        std::vector<int> states;
        std::atomic<int> reportsSent { 0 };

        EventLink()   { answering = std::thread ([this] { answerReports(); }); }

        ~EventLink() override
        {
            {
                std::lock_guard<std::mutex> lock (queueLock);
                stopping = true;
            }

            queueChanged.notify_one();
            answering.join();
        }

        void sendReport (const uint8_t* report, size_t size) override
        {
            OutputReport copy {};
            std::memcpy (copy.data(), report, std::min (size, reportSize));

            {
                std::lock_guard<std::mutex> lock (queueLock);
                queue.push_back (copy);
            }

            ++reportsSent;
            queueChanged.notify_one();
        }

        bool awaitAnswer (int timeoutMs, uint8_t& code, uint8_t& value) override
        {
            return awaitReportAnswer (reportEvent, inputReport, inputLock, timeoutMs, code, value);
        }

        void postState (int screenState) override   { states.push_back (screenState); }
        void setProgress (double) override           {}
        void pause (int milliseconds) override       { wakeUp.wait (milliseconds); }

    private:
        AutoResetEvent reportEvent;
        juce::CriticalSection inputLock;
        juce::WaitableEvent wakeUp;
        uint8_t inputReport[inputReportCapacity] {};

        std::thread answering;
        std::mutex queueLock;
        std::condition_variable queueChanged;
        std::deque<OutputReport> queue;
        bool stopping = false;
        size_t answered = 0;

        void answerReports()
        {
            for (;;)
            {
                OutputReport report;

                {
                    std::unique_lock<std::mutex> lock (queueLock);
                    queueChanged.wait (lock, [this] { return stopping || ! queue.empty(); });

                    if (stopping)
                        return;

                    report = queue.front();
                    queue.pop_front();
                }

                const auto index = answered++;

                if (index > unplugAt)
                    continue;

                if (index == unplugAt)
                {
                    std::memset (inputReport, 0, sizeof (inputReport));
                }
                else
                {
                    const auto reply = controller.answer (report);
                    inputReport[answerCodeOffset] = reply.code;
                    inputReport[answerValueOffset] = reply.value;
                }

                reportEvent.signal();
            }
        }
    };
}

TEST (FirmwareTransferThreads, AHealthyControllerOnAnotherThreadCompletesTheUpdate)
{
    PackageOnDisk disk ({ { pattern (300, 1), true }, { pattern (62, 2), false }, { pattern (63, 3), true } });
    EventLink link;
    link.controller.statusAnswers = { { working, 30 }, { working, 70 }, { finished, 100 } };

    double deviceProgress = 0.0;
    EXPECT_TRUE (runFirmwareTransfer (disk.package, disk.file, link, deviceProgress, shortTimeouts));
    EXPECT_EQ (link.states, (std::vector<int> { updating, updateDone }));
    EXPECT_EQ (link.reportsSent.load(), 1 + 1 + 5 + 1 + 2 + 3);
}

TEST (FirmwareTransferThreads, AControllerThatNeverAnswersTheHeaderTimesOut)
{
    PackageOnDisk disk ({ { pattern (100, 1), true } });

    // Nothing ever signals the event: the wait must end by its time-out alone.
    class Silent : public TransferLink
    {
    public:
        AutoResetEvent reportEvent;
        juce::CriticalSection inputLock;
        uint8_t inputReport[inputReportCapacity] {};
        std::vector<int> states;
        int reportsSent = 0;

        void sendReport (const uint8_t*, size_t) override   { ++reportsSent; }
        bool awaitAnswer (int timeoutMs, uint8_t& code, uint8_t& value) override
        {
            return awaitReportAnswer (reportEvent, inputReport, inputLock, timeoutMs, code, value);
        }
        void postState (int screenState) override   { states.push_back (screenState); }
        void setProgress (double) override           {}
        void pause (int) override                    {}
    } silent;

    double deviceProgress = 0.0;
    EXPECT_FALSE (runFirmwareTransfer (disk.package, disk.file, silent, deviceProgress, shortTimeouts));
    EXPECT_EQ (silent.reportsSent, 1);
    EXPECT_EQ (silent.states, (std::vector<int> { updating, updateFailed }));
}

TEST (FirmwareTransferThreads, UnpluggingDuringTheDataFailsAfterTheStatusTimeOut)
{
    PackageOnDisk disk ({ { pattern (300, 1), true } });
    EventLink link;
    link.unplugAt = 4;   // H S1 D1 D1 [D1]: the third data report reads as zeroed

    double deviceProgress = 0.0;
    EXPECT_FALSE (runFirmwareTransfer (disk.package, disk.file, link, deviceProgress, shortTimeouts));
    EXPECT_EQ (link.states, (std::vector<int> { updating, updateFailed }));
    EXPECT_EQ (link.reportsSent.load(), 6);   // ... and one statusQuery, never answered
}
