// HidCtrl and HidUtil against the scripted library: device search, connection states,
// what the client is told, and the notification channel through the JUCE message thread.

#include "ScriptedDevHid.h"

#include "device/HidCtrl.h"
#include "device/HidUtil.h"

#include <juce_events/juce_events.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
    using scriptedDevHid::Device;
    using scriptedDevHid::state;

    constexpr int invalidPackage = 0;
    constexpr int validPackage = 1;

    struct Event
    {
        std::string name;
        int connectionState;
        int firmwareVersion;
        int lastReportLength;
        uint8_t firstByte;
    };

    // The MainComponent's part: records each event with what HidCtrl shows at that moment.
    struct RecordingClient : HidHandler
    {
        explicit RecordingClient (HidCtrl& c) : ctrl (c) {}

        void deviceRemoved() override { record ("removed"); }
        void deviceArrived() override { record ("arrived"); }
        void reportReceived() override { record ("report"); }

        void record (const char* name)
        {
            events.push_back ({ name, ctrl.connectionState.load(), ctrl.firmwareVersion,
                                ctrl.lastReportLength, ctrl.lastReport[0] });
        }

        std::vector<std::string> names() const
        {
            std::vector<std::string> result;
            for (const auto& e : events)
                result.push_back (e.name);
            return result;
        }

        HidCtrl& ctrl;
        std::vector<Event> events;
    };

    Device device (int32_t hidNumber, int32_t type, int32_t version = 0)
    {
        Device d;
        d.hidNumber = hidNumber;
        d.deviceType = type;
        d.firmwareVersion = version;
        return d;
    }

    std::vector<uint8_t> report (std::initializer_list<uint8_t> bytes)
    {
        return bytes;
    }

    class HidLink : public ::testing::Test
    {
    protected:
        void SetUp() override { scriptedDevHid::reset(); }
        void TearDown() override
        {
            ctrl.close();
            drain();
        }

        // Runs the message loop until everything posted so far has been dispatched.
        static void drain()
        {
            auto done = std::make_shared<std::atomic<bool>> (false);
            juce::MessageManager::callAsync ([done] { *done = true; });
            for (int i = 0; i < 1000 && ! *done; ++i)
                juce::MessageManager::getInstance()->runDispatchLoopUntil (2);
            ASSERT_TRUE (*done);
        }

        // A notification as the library sends it, dispatched on the message thread.
        static void notify (unsigned int message, unsigned int hidNumber)
        {
            ASSERT_TRUE (scriptedDevHid::post (message, hidNumber));
            drain();
        }

        void open (int deviceIndex)
        {
            ASSERT_TRUE (ctrl.open (&client, deviceIndex));
        }

        juce::ScopedJuceInitialiser_GUI juce;
        HidCtrl ctrl;
        RecordingClient client { ctrl };
    };
}

TEST_F (HidLink, OpensTheFirstDeviceOfTheWantedTypeInTheLibrarysOrder)
{
    state().devices = { device (4, 5), device (7, 13, 123), device (9, 13, 200) };
    state().devices[1].inputs.push_back (report ({ 0x42, 0x01 }));
    open (validPackage);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::connected);
    EXPECT_EQ (ctrl.util->hidNumber, 7);
    EXPECT_EQ (ctrl.firmwareVersion, 123);
    EXPECT_EQ (ctrl.lastReportLength, 2);
    EXPECT_EQ (ctrl.lastReport[0], 0x42);
    EXPECT_EQ (state().typeQueries, (std::vector<int32_t> { 4, 7 }));
    EXPECT_TRUE (client.events.empty()) << "open tells the client nothing";
}

TEST_F (HidLink, NoControllerAtStartIsNotAFailure)
{
    open (validPackage);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_EQ (ctrl.firmwareVersion, 0);
    EXPECT_EQ (ctrl.lastReportLength, 0);
    EXPECT_TRUE (client.events.empty());
}

TEST_F (HidLink, OpensAndClosesTheLibraryInTheFixedOrder)
{
    open (validPackage);
    EXPECT_EQ (state().calls, (std::vector<std::string> {
        "HID_Initialize(instance)", "HID_SetCallback(target,1027,1026,1025)", "HID_Start", "HID_EnumHIDno" }));
    EXPECT_EQ (HidUtil::current, ctrl.util);

    state().calls.clear();
    ctrl.close();
    EXPECT_EQ (state().calls, (std::vector<std::string> { "HID_Stop", "HID_SetCallback(null,0,0,0)", "HID_Finalize" }));
    EXPECT_EQ (HidUtil::current, nullptr);
    EXPECT_EQ (ctrl.util, nullptr);
    EXPECT_EQ (ctrl.client, nullptr);

    // Opens again with a fresh window (the class was unregistered on closing).
    state().calls.clear();
    open (validPackage);
    EXPECT_EQ (state().calls.size(), 4u);
}

TEST_F (HidLink, ReadsTheFirmwareVersionByDeviceTypeAndInputWithAZeroedFullBuffer)
{
    state().devices = { device (3, 13, 245) };
    open (validPackage);

    EXPECT_EQ (state().versionArguments[0], 13) << "the device type, not the HID number";
    EXPECT_EQ (state().versionArguments[1], 0);
    EXPECT_EQ (state().versionArguments[2], 0);
    EXPECT_EQ (state().versionArguments[3], 1);
    EXPECT_TRUE (state().inputBufferZeroed);
    EXPECT_EQ (state().inputCapacity, 256);
}

TEST_F (HidLink, AnInvalidPackageLooksOnlyForDeviceTypeZero)
{
    state().devices = { device (1, 13, 100) };
    open (invalidPackage);
    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);

    state().devices.push_back (device (2, 13, 100));
    notify (HidUtil::arrivalMessage, 2);
    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_TRUE (client.events.empty());

    state().devices.push_back (device (3, 0, 55));
    notify (HidUtil::arrivalMessage, 3);
    EXPECT_EQ (ctrl.connectionState, HidCtrl::connected);
    EXPECT_EQ (ctrl.util->hidNumber, 3);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "arrived" }));
    EXPECT_EQ (client.events[0].firmwareVersion, 55);
}

TEST_F (HidLink, AnArrivalIsActedOnOnlyWhileNoDeviceIsOpen)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);

    state().devices.push_back (device (2, 13, 200));
    notify (HidUtil::arrivalMessage, 2);

    EXPECT_EQ (ctrl.util->hidNumber, 1);
    EXPECT_EQ (ctrl.firmwareVersion, 100);
    EXPECT_TRUE (client.events.empty());
}

TEST_F (HidLink, AnArrivalFindsTheControllerWhateverItsWParam)
{
    open (validPackage);
    state().devices = { device (6, 13, 130) };
    state().devices[0].inputs.push_back (report ({ 0x11 }));
    notify (HidUtil::arrivalMessage, 0);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::connected);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "arrived" }));
    EXPECT_EQ (client.events[0].connectionState, HidCtrl::connected);
    EXPECT_EQ (client.events[0].firmwareVersion, 130);
    EXPECT_EQ (client.events[0].lastReportLength, 1);
    EXPECT_EQ (client.events[0].firstByte, 0x11);
}

TEST_F (HidLink, ARemovalOfAnotherDeviceChangesNothing)
{
    for (const bool written : { false, true })
    {
        SCOPED_TRACE (written ? "inUse" : "connected");
        scriptedDevHid::reset();
        client.events.clear();
        state().devices = { device (1, 13, 100), device (2, 13, 200) };
        open (validPackage);

        const uint8_t bytes[64] = { 0xF0 };
        if (written)
            ASSERT_TRUE (ctrl.sendReport (bytes, 64));

        const int before = ctrl.connectionState;
        scriptedDevHid::remove (2);
        notify (HidUtil::removalMessage, 2);

        EXPECT_EQ (ctrl.connectionState, before);
        EXPECT_EQ (ctrl.util->hidNumber, 1);
        EXPECT_EQ (ctrl.firmwareVersion, 100);
        EXPECT_TRUE (client.events.empty());
        ctrl.close();
    }
}

TEST_F (HidLink, AfterAWriteARemovalDisconnectsEvenWithAnotherControllerAttached)
{
    state().devices = { device (1, 13, 100), device (2, 13, 200) };
    open (validPackage);
    const uint8_t bytes[64] = { 0xF0 };
    ASSERT_TRUE (ctrl.sendReport (bytes, 64));
    EXPECT_EQ (ctrl.connectionState, HidCtrl::inUse);

    scriptedDevHid::remove (1);
    notify (HidUtil::removalMessage, 1);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_EQ (ctrl.util->hidNumber, -1);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "removed" }));
    EXPECT_EQ (client.events[0].firmwareVersion, 0);
    EXPECT_EQ (client.events[0].lastReportLength, 0);

    // The other controller is taken on at the next arrival notification.
    notify (HidUtil::arrivalMessage, 7);
    EXPECT_EQ (ctrl.connectionState, HidCtrl::connected);
    EXPECT_EQ (ctrl.util->hidNumber, 2);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "removed", "arrived" }));
    EXPECT_EQ (client.events[1].firmwareVersion, 200);
}

TEST_F (HidLink, BeforeAWriteARemovalMovesOnToAnotherAttachedController)
{
    state().devices = { device (1, 13, 100), device (2, 13, 200) };
    state().devices[1].inputs.push_back (report ({ 0x77, 0x01, 0x02 }));
    open (validPackage);

    scriptedDevHid::remove (1);
    notify (HidUtil::removalMessage, 1);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::connected);
    EXPECT_EQ (ctrl.util->hidNumber, 2);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "arrived" }));
    EXPECT_EQ (client.events[0].firmwareVersion, 200);
    EXPECT_EQ (client.events[0].lastReportLength, 3);
    EXPECT_EQ (client.events[0].firstByte, 0x77);
}

TEST_F (HidLink, BeforeAWriteARemovalWithNoOtherControllerDisconnects)
{
    state().devices = { device (1, 13, 100), device (2, 5) };
    open (validPackage);

    scriptedDevHid::remove (1);
    notify (HidUtil::removalMessage, 1);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_EQ (ctrl.firmwareVersion, 0);
    EXPECT_EQ (client.names(), (std::vector<std::string> { "removed" }));
}

TEST_F (HidLink, WritingAfterTheDeviceHasGoneFailsAndWritesNothing)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);
    scriptedDevHid::remove (1);
    notify (HidUtil::removalMessage, 1);

    const uint8_t bytes[64] = { 0xF2 };
    EXPECT_FALSE (ctrl.sendReport (bytes, 64));
    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_TRUE (state().writes.empty());
}

TEST_F (HidLink, AWriteGoesToTheOpenDeviceAndReportsTheLibrarysResult)
{
    state().devices = { device (4, 5), device (8, 13, 100) };
    open (validPackage);

    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i)
        bytes[i] = (uint8_t) (0xF3 + i);

    EXPECT_TRUE (ctrl.sendReport (bytes, 64));
    ASSERT_EQ (state().writes.size(), 1u);
    EXPECT_EQ (state().writes[0].hidNumber, 8);
    EXPECT_EQ (state().writes[0].bytes, std::vector<uint8_t> (bytes, bytes + 64));

    state().writeSucceeds = false;
    EXPECT_FALSE (ctrl.sendReport (bytes, 64));
    EXPECT_EQ (ctrl.connectionState, HidCtrl::inUse);

    EXPECT_FALSE (ctrl.sendReport (nullptr, 64));
    EXPECT_FALSE (ctrl.sendReport (bytes, 0));
    EXPECT_EQ (state().writes.size(), 2u) << "no data or no length writes nothing";
}

TEST_F (HidLink, InputOfTheOpenDeviceReachesTheClientAndOtherInputIsIgnored)
{
    state().devices = { device (1, 13, 100), device (2, 13, 100) };
    open (validPackage);

    scriptedDevHid::find (1)->inputs.push_back (report ({ 0xF8, 0x00, 0x09 }));
    notify (HidUtil::inputMessage, 1);
    ASSERT_EQ (client.names(), (std::vector<std::string> { "report" }));
    EXPECT_EQ (client.events[0].lastReportLength, 3);
    EXPECT_EQ (client.events[0].firstByte, 0xF8);

    scriptedDevHid::find (2)->inputs.push_back (report ({ 0xFC }));
    notify (HidUtil::inputMessage, 2);
    EXPECT_EQ (client.events.size(), 1u);
    EXPECT_EQ (scriptedDevHid::find (2)->inputs.size(), 1u) << "not read";
}

TEST_F (HidLink, AShorterReportOverwritesOnlyItsOwnBytesOfLastReport)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);

    scriptedDevHid::find (1)->inputs.push_back (report ({ 0xF9, 0x50, 0x33 }));
    notify (HidUtil::inputMessage, 1);
    scriptedDevHid::find (1)->inputs.push_back (report ({ 0xFE }));
    notify (HidUtil::inputMessage, 1);

    EXPECT_EQ (ctrl.lastReportLength, 1);
    EXPECT_EQ (ctrl.lastReport[0], 0xFE);
    EXPECT_EQ (ctrl.lastReport[1], 0x50);
}

TEST_F (HidLink, ALengthBeyondTheBufferFromTheLibraryIsCutToTheBuffer)
{
    state().devices = { device (1, 13, 100) };
    state().inputLength = 100000;
    open (validPackage);
    EXPECT_EQ (ctrl.lastReportLength, 256);

    state().inputLength = -5;
    notify (HidUtil::inputMessage, 1);
    EXPECT_EQ (ctrl.lastReportLength, 0);
}

TEST_F (HidLink, TheSearchNeverReadsPastTheRoomForOneHundredTwentyEightNumbers)
{
    for (int32_t n = 1; n <= 200; ++n)
        state().devices.push_back (device (n, 5));
    state().enumeratedCount = 1000;

    open (validPackage);

    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    ASSERT_EQ (state().typeQueries.size(), 128u);
    for (int32_t i = 0; i < 128; ++i)
        EXPECT_EQ (state().typeQueries[(size_t) i], i + 1);
}

TEST_F (HidLink, ASecondLinkCannotOpenAndDoesNotUnhookTheFirst)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);

    HidCtrl second;
    RecordingClient secondClient (second);
    EXPECT_FALSE (second.open (&secondClient, validPackage));
    EXPECT_EQ (second.util, nullptr);
    EXPECT_EQ (second.connectionState, HidCtrl::disconnected);

    EXPECT_EQ (HidUtil::current, ctrl.util);
    scriptedDevHid::find (1)->inputs.push_back (report ({ 0xF8 }));
    notify (HidUtil::inputMessage, 1);
    EXPECT_EQ (client.names(), (std::vector<std::string> { "report" }));
    EXPECT_TRUE (secondClient.events.empty());
}

TEST_F (HidLink, EveryMessageIsPassedOnToTheDefaultProcedure)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);

    struct Case { unsigned int message; uintptr_t wParam; };
    const Case cases[] = { { 0, 0 }, { 1024, 1 }, { HidUtil::removalMessage, 5 }, { HidUtil::arrivalMessage, 0 },
                           { HidUtil::inputMessage, 1 }, { 1028, 1 }, { 0x0010, 0 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.message);
        EXPECT_EQ (hidWindowProc (ctrl.util->window, c.message, c.wParam, 0),
                   callbackWindow::defaultProcedure (ctrl.util->window, c.message, c.wParam, 0));
    }

    ctrl.close();
    EXPECT_EQ (hidWindowProc (nullptr, HidUtil::inputMessage, 1, 0),
               callbackWindow::defaultProcedure (nullptr, HidUtil::inputMessage, 1, 0))
        << "with no link open the message is still passed on";
}

TEST_F (HidLink, NotificationsFromTheLibrarysThreadArriveInOrderOnTheMessageThread)
{
    open (validPackage);
    constexpr int reports = 50;

    // The arrival reads the first waiting report (0xAA); each input message reads the next.
    state().devices = { device (1, 13, 100) };
    state().devices[0].inputs.push_back (report ({ 0xAA }));
    for (int i = 0; i < reports; ++i)
        state().devices[0].inputs.push_back (report ({ (uint8_t) i }));

    struct Checking : RecordingClient
    {
        using RecordingClient::RecordingClient;
        void reportReceived() override
        {
            threadSeen.push_back (juce::MessageManager::getInstance()->isThisTheMessageThread());
            RecordingClient::reportReceived();

            // The device leaves right after its last report; its removal is already queued.
            if (threadSeen.size() == (size_t) reports)
                scriptedDevHid::remove (1);
        }
        std::vector<bool> threadSeen;
    } checking (ctrl);
    ctrl.client = &checking;

    std::thread library ([]
    {
        scriptedDevHid::post (HidUtil::arrivalMessage, 1);
        for (int i = 0; i < reports; ++i)
            scriptedDevHid::post (HidUtil::inputMessage, 1);
        scriptedDevHid::post (HidUtil::removalMessage, 1);
    });
    library.join();

    // Nothing runs until the message thread dispatches.
    EXPECT_TRUE (checking.events.empty());
    drain();

    ASSERT_EQ (checking.events.size(), (size_t) reports + 2);
    EXPECT_EQ (checking.events.front().name, "arrived");
    EXPECT_EQ (checking.events.front().firstByte, 0xAA);
    for (int i = 0; i < reports; ++i)
    {
        EXPECT_EQ (checking.events[(size_t) i + 1].name, "report");
        EXPECT_EQ (checking.events[(size_t) i + 1].firstByte, i);
    }
    EXPECT_EQ (checking.events.back().name, "removed");
    EXPECT_EQ (checking.threadSeen, std::vector<bool> (reports, true));
}

TEST_F (HidLink, NotificationsStillQueuedWhenTheLinkClosesAreDropped)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);

    scriptedDevHid::find (1)->inputs.push_back (report ({ 0xF8 }));
    ASSERT_TRUE (scriptedDevHid::post (HidUtil::inputMessage, 1));
    ASSERT_TRUE (scriptedDevHid::post (HidUtil::removalMessage, 1));
    ctrl.close();
    drain();
    EXPECT_TRUE (client.events.empty());

    // A new link gets only its own notifications.
    open (validPackage);
    ASSERT_TRUE (scriptedDevHid::post (HidUtil::inputMessage, 1));
    drain();
    EXPECT_EQ (client.names(), (std::vector<std::string> { "report" }));
}

TEST_F (HidLink, AClosedLinkWritesNothing)
{
    state().devices = { device (1, 13, 100) };
    open (validPackage);
    ctrl.close();

    const uint8_t bytes[64] = { 0xF0 };
    EXPECT_FALSE (ctrl.sendReport (bytes, 64));
    EXPECT_EQ (ctrl.connectionState, HidCtrl::disconnected);
    EXPECT_TRUE (state().writes.empty());
}
