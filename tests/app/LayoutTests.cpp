#include "AppTestSupport.h"

#include "ui/UiTestSupport.h"

using namespace appTest;

namespace
{
    const juce::Rectangle<int> rightButton { 306, 136, 100, 20 };
    const juce::Rectangle<int> leftButton { 196, 136, 100, 20 };
    const juce::Rectangle<int> centreBox { 20, 78, 386, 20 };

    struct Placed
    {
        int index = -1;
        float left = 0, top = 0;
        std::string style;
    };

    // Where the block starting with `text` was laid out (searched from glyph `from`).
    Placed place (const juce::GlyphArrangement& layout, const juce::String& text, int from = 0)
    {
        Placed p;
        p.index = findGlyph (layout, text, from);

        if (p.index >= 0)
        {
            const auto glyph = glyphAt (layout, p.index);
            p.left = glyph.getLeft();
            p.top = glyph.getTop();
            // The texts looked for here fit their lines unsqueezed.
            p.style = styleOf (layout, p.index, text.length(), currentTypeface());
        }

        return p;
    }

    // A block's first glyph starts at its box's corner (a glyph's own left bearing is
    // in its outline, not in its position).
    constexpr float tolerance = 0.01f;

    // Whether the warning symbol's colours show inside its square: the rest of the screen
    // is grey, black or white.
    bool warningSymbolDrawn (MainComponent& main)
    {
        const auto image = uiTest::render (main);
        const auto coloured = uiTest::boundsWhere (image, [] (juce::Colour c) { return c.getSaturation() > 0.4f; });
        return ! coloured.isEmpty() && juce::Rectangle<int> (20, 15, 64, 64).contains (coloured);
    }

    class Layout : public AppTest {};
}

TEST_F (Layout, LanguageScreen)
{
    start();
    const auto& layout = main().getTextLayout();

    EXPECT_EQ (main().getOkButton().getBounds(), rightButton);
    EXPECT_EQ (main().getCancelButton().getBounds(), leftButton);
    EXPECT_TRUE (main().getLanguageBox().isVisible());
    EXPECT_EQ (main().getLanguageBox().getBounds(), centreBox);
    EXPECT_FALSE (main().getProgressBar().isVisible());

    const auto heading = place (layout, "Language Selections");
    ASSERT_EQ (heading.index, 0);
    EXPECT_NEAR (heading.left, 20.0f, tolerance);
    EXPECT_NEAR (heading.top, 20.0f, tolerance);
    EXPECT_EQ (heading.style, "bold");

    // Below the heading's line and one empty line.
    const auto prompt = place (layout, "Please select a language.");
    ASSERT_GT (prompt.index, 0);
    EXPECT_NEAR (prompt.left, 40.0f, tolerance);
    EXPECT_NEAR (prompt.top, 20.0f + 2 * 13.0f, 1.0f);
    EXPECT_EQ (prompt.style, "plain");
    EXPECT_FALSE (warningSymbolDrawn (main()));
}

struct VersionCase
{
    int device, package;
    const char* current;
    const char* offered;
};

class Versions : public AppTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P (Versions, ShowAsMajorDotTwoDigitMinor)
{
    const auto& c = GetParam();
    start (Package::valid, 0, c.package);
    ASSERT_NO_FATAL_FAILURE (plugIn (c.device));
    click (main().getOkButton());
    ASSERT_EQ (main().getScreenState(), readyToUpdate);

    const auto& layout = main().getTextLayout();
    const auto current = place (layout, c.current);
    const auto offered = place (layout, c.offered);
    ASSERT_GE (current.index, 0) << glyphText (layout);
    ASSERT_GE (offered.index, 0) << glyphText (layout);
    EXPECT_NEAR (current.left, 60.0f, tolerance);
    EXPECT_NEAR (offered.left, 60.0f, tolerance);
    EXPECT_NEAR (offered.top - current.top, 13.0f, 0.5f);
    EXPECT_EQ (current.style, "plain");
}

INSTANTIATE_TEST_SUITE_P (Ready, Versions, ::testing::Values (
    VersionCase { 123, 124, "Current Version: Ver. 1.23", "Update Version: Ver. 1.24" },
    VersionCase { 5, 5, "Current Version: Ver. 0.05", "Update Version: Ver. 0.05" },
    VersionCase { 1000, 999, "Current Version: Ver. 10.00", "Update Version: Ver. 9.99" }));

// The ready screen in every language: the bold heading at (20, 20), the update-mode step
// at x = 40 (a line lower in Русский, whose heading takes two), and the order of the
// device name and the two button names in the step.
class ReadyScreen : public AppTest, public ::testing::WithParamInterface<int> {};

TEST_P (ReadyScreen, UpdateModeStep)
{
    const int language = GetParam();
    start (Package::valid, language);
    ASSERT_NO_FATAL_FAILURE (plugIn());
    click (main().getOkButton());
    ASSERT_EQ (main().getScreenState(), readyToUpdate);

    const auto& layout = main().getTextLayout();
    const auto all = glyphText (layout);
    const auto typeface = currentTypeface();

    const auto heading = glyphAt (layout, 0);
    EXPECT_NEAR (heading.getLeft(), 20.0f, tolerance);
    EXPECT_NEAR (heading.getTop(), 20.0f, tolerance);

    // The heading is bold, in the language's typeface (the device name in it tells: the
    // step may be squeezed to fit its lines, the heading is not).
    const auto headingName = all.indexOf ("KVX-70");
    ASSERT_GE (headingName, 0) << all;
    EXPECT_EQ (styleOf (layout, headingName, 6, typeface), "bold");

    // The step's first glyph follows the heading's two line feeds.
    const auto step = all.indexOf ("\n\n") + 2;
    ASSERT_GE (step, 2) << all;
    ASSERT_LT (step, layout.getNumGlyphs());

    const auto first = glyphAt (layout, step);
    EXPECT_NEAR (first.getLeft(), 40.0f, tolerance) << all;
    EXPECT_NEAR (first.getTop(), language == 6 ? 51.0f : 36.0f, tolerance) << all;

    const auto shift = all.indexOf (step, "SHIFT");
    const auto sync = all.indexOf (step, "SYNC");
    const auto name = all.indexOf (step, "KVX-70");
    ASSERT_GE (shift, 0) << all;
    ASSERT_GE (sync, 0) << all;
    ASSERT_GE (name, 0) << all;
    EXPECT_LT (shift, sync);

    if (language >= 8)
        EXPECT_LT (sync, name) << "button names first in Chinese, Korean and Japanese";
    else
        EXPECT_LT (name, shift) << "device name first";
}

INSTANTIATE_TEST_SUITE_P (EveryLanguage, ReadyScreen, ::testing::Range (0, 12));

TEST_F (Layout, NotFoundScreenHasTheBoldHeadingAboveStepOne)
{
    start();
    click (main().getOkButton());
    ASSERT_EQ (main().getScreenState(), deviceNotFound);
    const auto& layout = main().getTextLayout();

    const auto heading = place (layout, "Your KVX-70 is not recognized.");
    ASSERT_EQ (heading.index, 0) << glyphText (layout);
    EXPECT_NEAR (heading.left, 105.0f, tolerance);
    EXPECT_NEAR (heading.top, 20.0f, tolerance);
    EXPECT_EQ (heading.style, "bold");

    const auto step1 = place (layout, "1. Connect");
    EXPECT_NEAR (step1.left, 105.0f, tolerance);
    EXPECT_NEAR (step1.top, 36.0f, tolerance);
    EXPECT_EQ (step1.style, "plain");

    // Step 2 two lines of 13 and 3 below step 1; step 3 three lines and 3 below step 2.
    const auto step2 = place (layout, "2. Start");
    const auto step3 = place (layout, "3. Restart");
    EXPECT_NEAR (step2.top, 36.0f + 29.0f, tolerance);
    EXPECT_NEAR (step3.top, 36.0f + 29.0f + 42.0f, tolerance);

    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getBounds(), rightButton);
    EXPECT_TRUE (warningSymbolDrawn (main()));
}

TEST_F (Layout, FailureScreenHeadingIsPlainAndStepOneTakesItsSecondLine)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updateFailed));
    const auto& layout = main().getTextLayout();

    const auto heading = place (layout, "An error has occurred.");
    ASSERT_EQ (heading.index, 0) << glyphText (layout);
    EXPECT_NEAR (heading.left, 105.0f, tolerance);
    EXPECT_NEAR (heading.top, 20.0f, tolerance);
    EXPECT_EQ (heading.style, "plain");

    const auto step1 = place (layout, "1. Connect");
    EXPECT_NEAR (step1.left, 105.0f, tolerance);
    EXPECT_NEAR (step1.top, 36.0f, tolerance);

    EXPECT_EQ (findGlyph (layout, "is not recognized"), -1);
    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getBounds(), rightButton);
    EXPECT_TRUE (warningSymbolDrawn (main()));
}

TEST_F (Layout, PackageErrorScreen)
{
    start (Package::invalid);
    click (main().getOkButton());
    const auto& layout = main().getTextLayout();

    const auto error = place (layout, "There is an error in the update file.");
    ASSERT_EQ (error.index, 0) << glyphText (layout);
    EXPECT_NEAR (error.left, 105.0f, tolerance);
    EXPECT_NEAR (error.top, 20.0f, tolerance);
    EXPECT_EQ (error.style, "plain");

    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_TRUE (main().getCancelButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getButtonText(), "OK");
    EXPECT_EQ (main().getCancelButton().getBounds(), rightButton);
    EXPECT_TRUE (warningSymbolDrawn (main()));
}

TEST_F (Layout, UpdatingScreenHasNoButtonAndTheBarWhereTheChooserStood)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updating));
    const auto& layout = main().getTextLayout();

    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_FALSE (main().getCancelButton().isVisible());
    EXPECT_FALSE (main().getLanguageBox().isVisible());
    EXPECT_TRUE (main().getProgressBar().isVisible());
    EXPECT_EQ (main().getProgressBar().getBounds(), centreBox);

    const auto heading = place (layout, "Updating your KVX-70 firmware.");
    ASSERT_EQ (heading.index, 0) << glyphText (layout);
    EXPECT_NEAR (heading.top, 20.0f, tolerance);
    EXPECT_EQ (heading.style, "bold");

    const auto prompt = place (layout, "Please wait");
    EXPECT_NEAR (prompt.left, 40.0f, tolerance);
    EXPECT_NEAR (prompt.top, 46.0f, 1.0f);
    EXPECT_EQ (prompt.style, "plain");
    EXPECT_FALSE (warningSymbolDrawn (main()));
}

TEST_F (Layout, DoneScreen)
{
    start();
    ASSERT_NO_FATAL_FAILURE (reach (updateDone));
    const auto& layout = main().getTextLayout();

    const auto text = place (layout, "The update of your version of the KVX-70 firmware is now complete.");
    ASSERT_EQ (text.index, 0) << glyphText (layout);
    EXPECT_NEAR (text.left, 20.0f, tolerance);
    EXPECT_NEAR (text.top, 20.0f, tolerance);
    EXPECT_EQ (text.style, "plain");

    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getBounds(), rightButton);
    EXPECT_FALSE (warningSymbolDrawn (main()));
}

// A new size lays everything out again: the window's 426 × 176 after the 420 × 170 of
// construction moves the buttons and the chooser with it.
TEST_F (Layout, ResizingRebuildsForTheNewSize)
{
    start();
    main().setSize (MainComponent::initialWidth, MainComponent::initialHeight);
    EXPECT_EQ (main().getOkButton().getBounds(), juce::Rectangle<int> (300, 130, 100, 20));
    EXPECT_EQ (main().getCancelButton().getBounds(), juce::Rectangle<int> (190, 130, 100, 20));
    EXPECT_EQ (main().getLanguageBox().getBounds(), juce::Rectangle<int> (20, 75, 380, 20));

    main().setSize (426, 176);
    EXPECT_EQ (main().getOkButton().getBounds(), rightButton);
    EXPECT_EQ (main().getLanguageBox().getBounds(), centreBox);
}
