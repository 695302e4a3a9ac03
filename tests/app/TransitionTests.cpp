#include "AppTestSupport.h"

#include "update/ReportProtocol.h"

using namespace appTest;

namespace
{
    // Counts how often a control is shown or hidden.
    struct VisibilityCounter : juce::ComponentListener
    {
        explicit VisibilityCounter (juce::Component& c) : component (c) { component.addComponentListener (this); }
        ~VisibilityCounter() override { component.removeComponentListener (this); }
        void componentVisibilityChanged (juce::Component&) override { ++changes; }

        juce::Component& component;
        int changes = 0;
    };

    class Transitions : public AppTest {};
}

TEST_F (Transitions, LanguageScreenOkWithoutAControllerShowsItIsNotFound)
{
    start();
    EXPECT_EQ (main().getScreenState(), selectLanguage);
    EXPECT_EQ (main().getDeviceVersion(), -1);

    click (main().getOkButton());

    EXPECT_EQ (main().getScreenState(), deviceNotFound);
    EXPECT_EQ (main().getDeviceVersion(), -1);
}

TEST_F (Transitions, AControllerPluggedInOnTheLanguageScreenWaitsForOk)
{
    start();
    ASSERT_NO_FATAL_FAILURE (plugIn (123));
    pump (50);
    EXPECT_EQ (main().getScreenState(), selectLanguage);

    click (main().getOkButton());

    EXPECT_EQ (main().getScreenState(), readyToUpdate);
    EXPECT_EQ (main().getDeviceVersion(), 123);
}

TEST_F (Transitions, AControllerThatLeftTheLanguageScreenIsNotFoundAfterOk)
{
    start();
    ASSERT_NO_FATAL_FAILURE (plugIn (123));
    ASSERT_NO_FATAL_FAILURE (unplug());
    pump (50);
    EXPECT_EQ (main().getScreenState(), selectLanguage);

    click (main().getOkButton());

    EXPECT_EQ (main().getScreenState(), deviceNotFound);
    EXPECT_EQ (main().getDeviceVersion(), -1);
}

TEST_F (Transitions, ChoosingALanguageStaysOnTheLanguageScreen)
{
    start();
    main().getLanguageBox().setSelectedId (3, juce::sendNotificationSync);
    pump (20);
    EXPECT_EQ (main().getScreenState(), selectLanguage);
    EXPECT_EQ (entry (4), main().getOkButton().getButtonText());
}

TEST_F (Transitions, UnpluggingAndRepluggingAlternatesBetweenNotFoundAndReady)
{
    start();
    click (main().getOkButton());
    ASSERT_EQ (main().getScreenState(), deviceNotFound);

    for (const int version : { 123, 130 })
    {
        ASSERT_NO_FATAL_FAILURE (plugIn (version));
        ASSERT_TRUE (screen->waitForState (readyToUpdate));
        EXPECT_EQ (main().getDeviceVersion(), version);
        // The ready screen shows the version of the controller that came.
        EXPECT_GE (findGlyph (main().getTextLayout(), juce::String::formatted ("%d.%02d", version / 100, version % 100)), 0);

        ASSERT_NO_FATAL_FAILURE (unplug());
        ASSERT_TRUE (screen->waitForState (deviceNotFound));
    }
}

TEST_F (Transitions, CancelQuitsFromTheLanguageScreenWithoutChangingIt)
{
    start();
    click (main().getCancelButton());
    EXPECT_EQ (main().getScreenState(), selectLanguage);
    EXPECT_FALSE (main().isThreadRunning());
}

TEST_F (Transitions, StartPostsUpdatingAndTheControllerLeavingFailsTheUpdate)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updating));

    // The screen changes only by the thread's post; the header is the first report.
    ASSERT_TRUE (pumpUntil ([&] { controller.serve (false); return ! controller.received.empty(); }));
    EXPECT_EQ (controller.received.front()[0], reportProtocol::updateHeader);
    EXPECT_EQ (main().getScreenState(), updating);

    controller.leave();
    ASSERT_TRUE (screen->waitForState (updateFailed));
    EXPECT_EQ (main().getDeviceVersion(), -1);
    ASSERT_TRUE (pumpUntil ([&] { return ! main().isThreadRunning(); }));
}

TEST_F (Transitions, AWholeUpdateEndsDone)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updateDone));

    using namespace reportProtocol;
    std::vector<uint8_t> commands;
    for (const auto& report : controller.received)
        commands.push_back (report[0]);

    // Header; section 1 in two data reports; section 2 in one; one status query.
    const std::vector<uint8_t> expected { updateHeader, sectionStart, sectionData, sectionData,
                                          sectionStart, sectionData, statusQuery };
    EXPECT_EQ (commands, expected);
    EXPECT_DOUBLE_EQ (main().getProgress(), 1.0);
    ASSERT_TRUE (pumpUntil ([&] { return ! main().isThreadRunning(); }));

    // Only changes of the progress reach the bar, and the last one did.
    ASSERT_TRUE (pumpUntil ([&] { return main().getShownProgress() == 1.0; }));
}

TEST_F (Transitions, StartStartsTheTransferOnceEvenWhenPressedTwice)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (readyToUpdate));

    // Both clicks before the thread's first post is applied.
    main().buttonClicked (&main().getOkButton());
    main().buttonClicked (&main().getOkButton());

    ASSERT_TRUE (screen->waitForState (updating, waitMs, [&] { controller.serve (false); }));
    pump (200);
    controller.serve (false);
    ASSERT_EQ (controller.received.size(), 1u) << "one header from one thread";

    controller.leave();
    ASSERT_TRUE (screen->waitForState (updateFailed));
}

TEST_F (Transitions, AnOutcomePostedBeforeUpdatingWasAppliedGoesStraightToIt)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (readyToUpdate));
    VisibilityCounter progressBar (main().getProgressBar());

    // Start, then quit before the message loop runs: the thread posts `updating`, fails on
    // the woken wait and posts `updateFailed` over it; requestQuit returns once it ended.
    main().buttonClicked (&main().getOkButton());
    main().requestQuit();
    EXPECT_FALSE (main().isThreadRunning());
    EXPECT_EQ (main().getScreenState(), readyToUpdate);

    pump (50);

    EXPECT_EQ (main().getScreenState(), updateFailed);
    EXPECT_EQ (progressBar.changes, 0) << "the updating screen was never shown";
}

TEST_F (Transitions, StatesPostedBeforeTheUpdateRunsCoalesce)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (readyToUpdate));
    VisibilityCounter okButton (main().getOkButton());

    // Removed and back before the message loop runs: only the later state is applied.
    main().deviceRemoved();
    main().deviceArrived();
    pump (50);

    EXPECT_EQ (main().getScreenState(), readyToUpdate);
    EXPECT_EQ (okButton.changes, 0) << "the not-found screen was never shown";
    EXPECT_EQ (main().getDeviceVersion(), 123);
}

TEST_F (Transitions, RequestQuitEndsAWaitingTransfer)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updating));
    ASSERT_TRUE (pumpUntil ([&] { controller.serve (false); return ! controller.received.empty(); }));
    ASSERT_TRUE (main().isThreadRunning());

    // The header waits 10 s for an answer; the quit wakes it, and returns after the thread.
    main().requestQuit();
    EXPECT_FALSE (main().isThreadRunning());

    ASSERT_TRUE (screen->waitForState (updateFailed));
}

TEST_F (Transitions, TheHiddenCancelDuringTheUpdateStillQuits)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updating));
    ASSERT_FALSE (main().getCancelButton().isVisible());

    click (main().getCancelButton());
    EXPECT_FALSE (main().isThreadRunning());
    ASSERT_TRUE (screen->waitForState (updateFailed));
}

// The final states and the package error refuse every change; only quitting remains.
class FinalStates : public AppTest, public ::testing::WithParamInterface<int> {};

TEST_P (FinalStates, RefuseEveryChangeButKeepTheDeviceVersion)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (GetParam()));

    // The controller leaves (done) and comes back with another version, then leaves.
    if (controller.isConnected())
        ASSERT_NO_FATAL_FAILURE (unplug());
    ASSERT_NO_FATAL_FAILURE (plugIn (140));
    ASSERT_NO_FATAL_FAILURE (unplug());
    pump (50);

    for (int state = selectLanguage; state <= updateFailed; ++state)
        main().setScreenState (state);

    EXPECT_EQ (main().getScreenState(), GetParam());
    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getButtonText(), entry (4));

    // The hidden OK quits as Cancel does; nothing starts again.
    click (main().getOkButton());
    EXPECT_EQ (main().getScreenState(), GetParam());
    EXPECT_FALSE (main().isThreadRunning());
}

INSTANTIATE_TEST_SUITE_P (Outcomes, FinalStates, ::testing::Values (updateDone, updateFailed),
                          [] (const auto& info) { return info.param == updateDone ? "done" : "failed"; });

class UnusablePackage : public AppTest, public ::testing::WithParamInterface<Package> {};

TEST_P (UnusablePackage, FreezesOnThePackageErrorAfterOneChange)
{
    start (GetParam());
    EXPECT_FALSE (main().getPackage().valid);
    EXPECT_EQ (main().getPackage().version, -1);

    // The language screen works; the link looks for no controller.
    main().getLanguageBox().setSelectedId (2, juce::sendNotificationSync);
    main().getLanguageBox().setSelectedId (1, juce::sendNotificationSync);
    ASSERT_TRUE (controller.connect (123));
    pump (100);

    click (main().getOkButton());
    EXPECT_EQ (main().getScreenState(), deviceNotFound);
    const auto packageErrorScreen = glyphText (main().getTextLayout());
    EXPECT_EQ (packageErrorScreen, entry (10));

    main().deviceArrived();
    main().deviceRemoved();
    pump (50);

    for (int state = selectLanguage; state <= updateFailed; ++state)
        main().setScreenState (state);

    EXPECT_EQ (main().getScreenState(), deviceNotFound);
    EXPECT_EQ (glyphText (main().getTextLayout()), packageErrorScreen);
    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getButtonText(), entry (4));
    EXPECT_EQ (main().getCancelButton().getBounds(), juce::Rectangle<int> (306, 136, 100, 20));

    // The hidden OK quits; no transfer ever starts without a package.
    main().buttonClicked (&main().getOkButton());
    EXPECT_FALSE (main().isThreadRunning());
    EXPECT_TRUE (controller.received.empty());
}

INSTANTIATE_TEST_SUITE_P (Packages, UnusablePackage, ::testing::Values (Package::invalid, Package::missing),
                          [] (const auto& info) { return info.param == Package::invalid ? "invalid" : "missing"; });

// Every device event in every state, delivered as the device link delivers it: the state
// and version that follow.
struct DeviceEventCase
{
    const char* name;
    int state;
    bool arrival;
    int expectedState;
};

class DeviceEvents : public AppTest, public ::testing::WithParamInterface<DeviceEventCase> {};

TEST_P (DeviceEvents, ChangeTheScreenOnlyWhereTheTableSays)
{
    const auto& c = GetParam();
    start();
    ASSERT_NO_FATAL_FAILURE (reach (c.state));

    if (c.arrival)
        main().deviceArrived();
    else
        main().deviceRemoved();

    if (c.state == updating)
        ASSERT_TRUE (pumpUntil ([&] { return ! main().isThreadRunning(); }));

    pump (50);
    EXPECT_EQ (main().getScreenState(), c.expectedState);

    // The version follows the event in every state: the link's version on an arrival
    // (0 when it has no controller open), -1 on a removal.
    if (c.arrival)
        EXPECT_NE (main().getDeviceVersion(), -1);
    else
        EXPECT_EQ (main().getDeviceVersion(), -1);
}

INSTANTIATE_TEST_SUITE_P (EveryState, DeviceEvents, ::testing::Values (
    DeviceEventCase { "languageArrival",  selectLanguage, true,  selectLanguage },
    DeviceEventCase { "languageRemoval",  selectLanguage, false, selectLanguage },
    DeviceEventCase { "notFoundArrival",  deviceNotFound, true,  readyToUpdate },
    DeviceEventCase { "notFoundRemoval",  deviceNotFound, false, deviceNotFound },
    DeviceEventCase { "readyArrival",     readyToUpdate,  true,  readyToUpdate },
    DeviceEventCase { "readyRemoval",     readyToUpdate,  false, deviceNotFound },
    // The woken transfer finds an empty answer and fails.
    DeviceEventCase { "updatingArrival",  updating,       true,  updateFailed },
    DeviceEventCase { "updatingRemoval",  updating,       false, updateFailed },
    DeviceEventCase { "doneArrival",      updateDone,     true,  updateDone },
    DeviceEventCase { "doneRemoval",      updateDone,     false, updateDone },
    DeviceEventCase { "failedArrival",    updateFailed,   true,  updateFailed },
    DeviceEventCase { "failedRemoval",    updateFailed,   false, updateFailed }),
    [] (const auto& info) { return std::string (info.param.name); });

// Input reports are copied in every state; only during the update do they wake the transfer.
class InputReports : public AppTest, public ::testing::WithParamInterface<int> {};

TEST_P (InputReports, AreCopiedOutsideTheUpdate)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (GetParam()));

    if (! controller.isConnected())
        ASSERT_NO_FATAL_FAILURE (plugIn (123));

    const std::vector<uint8_t> report { 0x12, 0x34, 0x56 };
    ASSERT_TRUE (controller.sendInput (report));
    ASSERT_TRUE (pumpUntil ([&] { return main().getInputReport()[0] == 0x12; }));
    EXPECT_EQ (main().getInputReport()[1], 0x34);
    EXPECT_EQ (main().getInputReport()[2], 0x56);
    EXPECT_EQ (main().getScreenState(), GetParam());
}

INSTANTIATE_TEST_SUITE_P (States, InputReports, ::testing::Values (selectLanguage, readyToUpdate, updateDone, updateFailed));
