#pragma once

// The updater's MainComponent in a test process: its package file written next to the test
// program, the real device link on the virtual bus with a controller played from the test,
// and the message loop pumped while waiting for device events and posted states.

#include "devhid/BusDevice.h"
#include "ui/AlineButton.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace appTest
{
    constexpr int controllerType = 13;
    constexpr int packageVersion = 124;
    constexpr int deviceVersion = 123;
    constexpr int waitMs = 10000;   // generous: every wait ends as soon as its condition holds

    // Runs the message loop for about `ms` milliseconds.
    void pump (int ms);

    // Runs the message loop until `condition` holds (true) or `timeoutMs` has passed
    // (false); `each` runs between the slices, e.g. to let the controller answer.
    bool pumpUntil (const std::function<bool()>& condition, int timeoutMs = waitMs,
                    const std::function<void()>& each = {});

    enum class Package { valid, invalid, missing };

    // "KVX-70_UP.upd" next to the test program, for one test: written at construction,
    // removed at destruction.
    class PackageFile
    {
    public:
        explicit PackageFile (Package kind, int version = packageVersion);
        ~PackageFile();
        static juce::File location();
    };

    // A controller on the virtual bus, played by the test: it says HELLO with the device
    // type and firmware version, sends input reports, and, when asked to, answers the
    // updater's reports by the protocol (serve) on the test's own thread.
    class Controller
    {
    public:
        bool connect (int version, int type = controllerType);
        void leave();
        bool isConnected() const { return device.isConnected(); }
        bool sendInput (const std::vector<uint8_t>& report);

        // Takes the output reports that have arrived; when `answer` is set, answers each
        // as a healthy controller would.
        void serve (bool answer);

        std::vector<std::vector<uint8_t>> received;   // every output report, in order

    private:
        devhidBus::BusDevice device;
        std::vector<size_t> sectionLengths = std::vector<size_t> (8, 0);
        std::vector<size_t> dataSeen = std::vector<size_t> (8, 0);
    };

    // MainComponent as the window holds it: inside a parent (whose name is the window's
    // title) and given the window's client area, 426 × 176.
    class Screen
    {
    public:
        Screen();
        ~Screen();

        MainComponent& main() { return *component; }
        juce::Component& window() { return parent; }

        // Pumps until the screen state is `state`.
        bool waitForState (int state, int timeoutMs = waitMs, const std::function<void()>& each = {});

    private:
        juce::Component parent;
        std::unique_ptr<MainComponent> component;
    };

    // Whether this process's device link is the one listening on the bus: a probe device of
    // a type the updater ignores shows up in the library's list. False when another
    // process (another updater, another bus test) holds the bus.
    bool busIsOurs();

    // Fonts prepared once, every language offered by the chooser, and `language` loaded:
    // call before constructing a Screen.
    void prepareLanguages (int language);

    // The characters of the laid-out texts, one per glyph, so that a glyph's index is the
    // index of its character.
    juce::String glyphText (const juce::GlyphArrangement&);

    // Index of the glyph that starts `text`, searched from glyph `from`; -1 when absent.
    int findGlyph (const juce::GlyphArrangement&, const juce::String& text, int from = 0);

    // The catalogue entry of the current language.
    juce::String entry (int index);

    // The typeface MainComponent gives the current language's texts and buttons.
    juce::String currentTypeface();

    // The glyph at `index`: its place.
    juce::PositionedGlyph glyphAt (const juce::GlyphArrangement&, int index);

    // The font of a laid-out run of glyphs is not readable back from the arrangement; what
    // is, is how far the run advances. "bold" or "plain" when the `count` glyphs from
    // `index` advance exactly as their characters do in `typeface` at height 13 in that
    // style (and not in the other), else "neither". Pick a run whose widths differ
    // between the two styles (Latin letters; CJK ideographs are all one em wide).
    std::string styleOf (const juce::GlyphArrangement&, int index, int count, const juce::String& typeface);
}

namespace appTest
{
    // One run of the updater's screen: the package, the language, the screen, and the
    // controllers the test plays. Everything goes in reverse order at the end, the screen
    // first, so that its transfer thread has ended before the controllers leave.
    class AppTest : public ::testing::Test
    {
    protected:
        void start (Package kind = Package::valid, int language = 0, int version = packageVersion)
        {
            package = std::make_unique<PackageFile> (kind, version);
            prepareLanguages (language);
            screen = std::make_unique<Screen>();
            ASSERT_TRUE (busIsOurs()) << "another process listens on the virtual HID bus of this user";
        }

        void TearDown() override
        {
            screen.reset();
            controller.leave();
            second.leave();
            package.reset();
        }

        MainComponent& main() { return screen->main(); }

        // A click as the framework delivers it, through the message loop.
        void click (juce::Button& button)
        {
            button.triggerClick();
            pump (20);
        }

        // Plugs the controller in and waits until MainComponent has heard of it.
        void plugIn (int version = deviceVersion)
        {
            ASSERT_TRUE (controller.connect (version));
            ASSERT_TRUE (pumpUntil ([&] { return main().getDeviceVersion() == version; }));
        }

        void unplug()
        {
            controller.leave();
            ASSERT_TRUE (pumpUntil ([&] { return main().getDeviceVersion() == -1; }));
        }

        // From the language screen to `state`, the way a user gets there: 1 and 2 by OK
        // without and with a controller, 3 by Start with a controller that does not answer,
        // 4 by a whole update, 5 by the controller leaving during the update.
        void reach (int state)
        {
            if (state == selectLanguage)
                return;

            if (state != deviceNotFound)
                plugIn();

            click (main().getOkButton());

            if (state >= updating)
            {
                click (main().getOkButton());
                const bool answer = state == updateDone;
                ASSERT_TRUE (screen->waitForState (updating, waitMs, [&] { controller.serve (answer); }));

                if (state == updateDone)
                    ASSERT_TRUE (screen->waitForState (updateDone, waitMs, [&] { controller.serve (true); }));

                if (state == updateFailed)
                {
                    // The header is out and awaited when the controller leaves.
                    ASSERT_TRUE (pumpUntil ([&] { controller.serve (false); return ! controller.received.empty(); }));
                    controller.leave();
                    ASSERT_TRUE (screen->waitForState (updateFailed));
                }
            }

            ASSERT_EQ (main().getScreenState(), state);
        }

        std::unique_ptr<PackageFile> package;
        std::unique_ptr<Screen> screen;
        Controller controller, second;
    };
}
