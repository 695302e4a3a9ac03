// The exchange against a device that sends garbage, floods the updater with reports, or is
// cut short by a quit request, at each phase of the transfer.
//
// The link here hands answers over as the program does: every input report is copied into
// one `inputReport` buffer (the last one wins) and sets one auto-reset signal; a wait that
// finds the signal set takes whatever the buffer holds then. A quit zeroes the buffer, sets
// the signal and asks the thread to stop, after which no wait waits. Nothing here sleeps: a
// missing answer is an immediate time-out.

#include "TransferTestDevice.h"

#include "update/FirmwareTransfer.h"
#include "update/ScreenState.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace transferTest;

namespace
{
    using InputReport = std::array<uint8_t, inputReportCapacity>;

    struct Delivery
    {
        InputReport bytes {};
        int length = (int) reportSize;
        bool genuine = false;       // the controller's own answer to a status query or other report
        bool afterRead = false;     // lands only once the transfer has read its answer
    };

    class MailboxLink : public TransferLink
    {
    public:
        Controller controller;

        // What the device sends in reply to report `index`; by default its genuine answer.
        std::function<std::vector<Delivery> (size_t index, const Delivery& genuine)> device;

        // The quit request comes while the answer to this report is awaited (it replaces it).
        size_t quitAt = SIZE_MAX;

        std::vector<OutputReport> sent;
        std::vector<int> states;
        bool lastReadWasGenuineFinished = false;
        int waits = 0;

        void sendReport (const uint8_t* report, size_t size) override
        {
            OutputReport copy {};
            std::memcpy (copy.data(), report, std::min (size, reportSize));
            const auto index = sent.size();
            sent.push_back (copy);

            if (quitting)
                return;   // the message thread is waiting for the transfer to end: nothing arrives

            Delivery genuine;
            const auto reply = controller.answer (copy);
            genuine.bytes[answerCodeOffset] = reply.code;
            genuine.bytes[answerValueOffset] = reply.value;
            genuine.genuine = true;

            if (index == quitAt)
            {
                requestQuit();
                return;
            }

            for (const auto& delivery : device ? device (index, genuine) : std::vector<Delivery> { genuine })
            {
                if (delivery.afterRead)
                    late.push_back (delivery);
                else
                    deliver (delivery);
            }
        }

        bool awaitAnswer (int, uint8_t& code, uint8_t& value) override
        {
            ++waits;

            if (shouldExit || ! signalled)
                return false;

            signalled = false;
            code = inputReport[answerCodeOffset];
            value = inputReport[answerValueOffset];
            // A `finished` the controller really sent, even one that lagged behind its query.
            lastReadWasGenuineFinished = inputGenuine && code == finished;
            shouldExit = quitting;

            for (const auto& delivery : late)
                deliver (delivery);

            late.clear();
            return true;
        }

        void postState (int screenState) override   { states.push_back (screenState); }
        void setProgress (double) override           {}
        void pause (int) override                    {}

        std::string path() const                     { return pathOf (sent); }

    private:
        InputReport inputReport {};
        bool inputGenuine = false;
        bool signalled = false;
        bool quitting = false;
        bool shouldExit = false;
        std::vector<Delivery> late;

        // As reportReceived: copy what came (never more than the buffer), then signal.
        void deliver (const Delivery& delivery)
        {
            const auto length = (size_t) std::clamp (delivery.length, 0, (int) inputReport.size());
            std::memcpy (inputReport.data(), delivery.bytes.data(), length);
            inputGenuine = delivery.genuine;
            signalled = true;
        }

        // As requestQuit: zero the answer and signal, then ask the thread to stop. The wait in
        // progress reads the zeroed report; the stop request then ends every later wait at
        // once, and the message thread, waiting for the transfer, passes on no more answers.
        void requestQuit()
        {
            inputReport.fill (0);
            inputGenuine = false;
            signalled = true;
            quitting = true;
            late.clear();
        }
    };

    // Section 1: three data reports; section 2 not enabled; section 3: two; section 4: one.
    std::vector<PackageSectionSource> matrixFixture()
    {
        return { { pattern (150, 1), true }, { pattern (20, 2), false },
                 { pattern (70, 3), true }, { pattern (62, 4), true } };
    }

    const char* const healthyPath = "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q Q";

    struct Phase
    {
        const char* name;
        size_t at;                 // index of the report in the healthy path
        bool sectionStart;         // a non-`proceed` answer declines the section: not a failure
    };

    const Phase phases[] = {
        { "header", 0, false },
        { "first section start", 1, true },
        { "first data report", 2, false },
        { "middle data report", 3, false },
        { "last data report", 4, false },
        { "later section start", 5, true },
        { "only data report of a section", 9, false },
        { "first status query", 10, false },
        { "status query after working", 11, false },
    };

    // Bytes no controller sends, different for every seed; the code byte is never one the
    // waiting step accepts (which would make it an answer, not garbage).
    Delivery garbage (std::mt19937& random, uint8_t avoidA, uint8_t avoidB)
    {
        Delivery delivery;
        for (auto& byte : delivery.bytes)
            byte = (uint8_t) random();

        while (delivery.bytes[0] == avoidA || delivery.bytes[0] == avoidB
               || delivery.bytes[0] == working || delivery.bytes[0] == finished
               || delivery.bytes[0] == proceed)
            delivery.bytes[0] = (uint8_t) random();

        delivery.length = (int) (random() % (inputReportCapacity + 1));
        if (delivery.length < 2)
            delivery.length = 2;
        return delivery;
    }

    // Every run must end with `updating` then exactly one outcome, and may end well only on
    // the controller's own `finished`.
    void expectClearEnd (const MailboxLink& link, bool done, const std::string& what)
    {
        ASSERT_EQ (link.states.size(), 2u) << what;
        EXPECT_EQ (link.states[0], updating) << what;
        EXPECT_EQ (link.states[1], done ? updateDone : updateFailed) << what;

        if (done)
            EXPECT_TRUE (link.lastReadWasGenuineFinished) << what << ": success without the controller's finished";

        // Each report is followed by exactly one wait; the exchange never loops on its own.
        EXPECT_EQ (link.waits, (int) link.sent.size()) << what;
    }
}

// One report of garbage in place of the answer at each phase: the transfer fails there (a
// section start counts it as declined and carries on), for many garbage reports of every length.
TEST (TransferFaultMatrix, AGarbageAnswerAtEachPhaseNeverEndsWell)
{
    for (const auto& phase : phases)
    {
        for (unsigned seed = 1; seed <= 40; ++seed)
        {
            PackageOnDisk disk (matrixFixture());
            MailboxLink link;
            link.controller.statusAnswers = { { working, 50 }, { finished, 100 } };
            std::mt19937 random (seed);

            link.device = [&] (size_t index, const Delivery& genuine) {
                if (index != phase.at)
                    return std::vector<Delivery> { genuine };
                return std::vector<Delivery> { garbage (random, headerAccepted, sectionEnd) };
            };

            double deviceProgress = 0.0;
            const bool done = runFirmwareTransfer (disk.package, disk.file, link, deviceProgress);
            const auto what = std::string (phase.name) + ", seed " + std::to_string (seed);

            expectClearEnd (link, done, what);

            // A declined section is left out, and this controller still finishes; any other
            // step fails for good.
            EXPECT_EQ (done, phase.sectionStart) << what;
        }
    }
}

// A flood: besides its answer, the device sends a burst of a thousand further reports at one
// phase, landing before the transfer reads (the last one wins) or after it, so that the next
// wait may return at once with a stale report; the device may then keep answering in time or
// lag one report behind from there on. Whatever the burst holds, the end is clear and
// success comes only from the controller's own `finished`.
TEST (TransferFaultMatrix, AFloodOfReportsAtEachPhaseEndsClearlyWithoutAFalseSuccess)
{
    enum class Burst { garbageBefore, garbageAfter, copiesAfter, zeroedAfter };
    const char* burstNames[] = { "garbage before the read", "garbage after the read",
                                 "copies of the answer after the read", "zeroed reports after the read" };

    for (const auto& phase : phases)
    {
        for (auto burst : { Burst::garbageBefore, Burst::garbageAfter, Burst::copiesAfter, Burst::zeroedAfter })
        {
            for (bool lagging : { false, true })
            {
                PackageOnDisk disk (matrixFixture());
                MailboxLink link;
                link.controller.statusAnswers = { { working, 50 }, { working, 70 }, { finished, 100 } };
                std::mt19937 random ((unsigned) phase.at * 7 + (unsigned) burst);

                link.device = [&] (size_t index, const Delivery& genuine) {
                    if (index < phase.at)
                        return std::vector<Delivery> { genuine };

                    if (index > phase.at)
                    {
                        auto late = genuine;
                        late.afterRead = lagging;
                        return std::vector<Delivery> { late };
                    }

                    std::vector<Delivery> deliveries;

                    for (int i = 0; i < 1000; ++i)
                    {
                        Delivery extra = burst == Burst::copiesAfter ? genuine
                                       : burst == Burst::zeroedAfter ? Delivery {}
                                       : garbage (random, headerAccepted, sectionEnd);
                        extra.genuine = burst == Burst::copiesAfter;
                        extra.afterRead = burst != Burst::garbageBefore;
                        deliveries.push_back (extra);
                    }

                    deliveries.insert (deliveries.begin(), genuine);
                    return deliveries;
                };

                double deviceProgress = 0.0;
                const bool done = runFirmwareTransfer (disk.package, disk.file, link, deviceProgress);
                const auto what = std::string (phase.name) + ", " + burstNames[(int) burst]
                                + (lagging ? ", device lagging after it" : "");

                expectClearEnd (link, done, what);

                // Garbage that overwrites the answer is garbage in its place.
                if (burst == Burst::garbageBefore && ! lagging)
                    EXPECT_EQ (done, phase.sectionStart) << what;

                // Out of step, the controller's answers meet the wrong reports: a data report
                // or the header read as something else is never taken for success.
                if (lagging && burst != Burst::copiesAfter && phase.at < 10)
                    EXPECT_FALSE (done) << what;
            }
        }
    }
}

// The quit request (requestQuit, or the system ending the program) while each answer is
// awaited: the woken wait reads the zeroed report, every later wait ends at once, and the
// transfer reaches `updateFailed` with at most the one status query after it.
TEST (TransferFaultMatrix, AQuitRequestAtEachPhaseFailsPromptlyAndSendsNoMoreData)
{
    struct Case
    {
        const Phase& phase;
        const char* path;
    };

    const Case cases[] = {
        { phases[0], "H" },
        { phases[1], "H S1 Q" },
        { phases[2], "H S1 D1 Q" },
        { phases[3], "H S1 D1 D1 Q" },
        { phases[4], "H S1 D1 D1 D1 Q" },
        { phases[5], "H S1 D1 D1 D1 S3 Q" },
        { phases[6], "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q" },
        { phases[7], "H S1 D1 D1 D1 S3 D3 D3 S4 D4 Q" },
        { phases[8], healthyPath },
    };

    for (const auto& c : cases)
    {
        PackageOnDisk disk (matrixFixture());
        MailboxLink link;
        link.controller.statusAnswers = { { working, 50 }, { finished, 100 } };
        link.quitAt = c.phase.at;

        double deviceProgress = 0.0;
        const bool done = runFirmwareTransfer (disk.package, disk.file, link, deviceProgress);

        EXPECT_FALSE (done) << c.phase.name;
        expectClearEnd (link, done, c.phase.name);
        EXPECT_EQ (link.path(), c.path) << c.phase.name;
    }
}
