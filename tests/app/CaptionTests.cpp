#include "AppTestSupport.h"

#include "i18n/TxtLoader.h"

using namespace appTest;

namespace
{
    const juce::Rectangle<int> right { 306, 136, 100, 20 };
    const juce::Rectangle<int> left { 196, 136, 100, 20 };

    // What each screen state shows of the controls: a caption is a catalogue entry, 0 for
    // a hidden button.
    struct Controls
    {
        int okCaption;
        int cancelCaption;
        juce::Rectangle<int> cancelBounds;
        bool chooser;
        bool progressBar;
    };

    const Controls controlsOf[] = {
        /* selectLanguage */ { 4, 6, left, true, false },
        /* deviceNotFound */ { 0, 7, right, false, false },
        /* readyToUpdate  */ { 5, 7, left, false, false },
        /* updating       */ { 0, 0, {}, false, true },
        /* updateDone     */ { 0, 4, right, false, false },
        /* updateFailed   */ { 0, 4, right, false, false },
    };

    // The controls, the title and the buttons' typeface of the screen as it stands, in the
    // current language.
    void expectScreen (MainComponent& main, juce::Component& window, int state)
    {
        SCOPED_TRACE ("state " + std::to_string (state) + ", language "
                      + std::to_string (TxtLoader::instance()->currentLanguage));
        ASSERT_EQ (main.getScreenState(), state);
        const auto& expected = controlsOf[state];
        auto& ok = main.getOkButton();
        auto& cancel = main.getCancelButton();

        EXPECT_EQ (ok.isVisible(), expected.okCaption != 0);
        if (expected.okCaption != 0)
        {
            EXPECT_EQ (ok.getButtonText(), entry (expected.okCaption));
            EXPECT_EQ (ok.getBounds(), right);
        }

        EXPECT_EQ (cancel.isVisible(), expected.cancelCaption != 0);
        if (expected.cancelCaption != 0)
        {
            EXPECT_EQ (cancel.getButtonText(), entry (expected.cancelCaption));
            EXPECT_EQ (cancel.getBounds(), expected.cancelBounds);
        }

        EXPECT_EQ (main.getLanguageBox().isVisible(), expected.chooser);
        EXPECT_EQ (main.getProgressBar().isVisible(), expected.progressBar);
        EXPECT_EQ (window.getName(), entry (3));
        EXPECT_EQ (ok.getFontName(), currentTypeface());
        EXPECT_EQ (cancel.getFontName(), currentTypeface());
        EXPECT_GT (main.getTextLayout().getNumGlyphs(), 0);
    }

    class Captions : public AppTest, public ::testing::WithParamInterface<int> {};
}

// A whole update in each language: language screen, no controller, the controller comes,
// Start, the transfer, done.
TEST_P (Captions, EveryStateOfAWholeUpdate)
{
    start (Package::valid, GetParam());
    ASSERT_EQ (TxtLoader::instance()->currentLanguage, GetParam());
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), selectLanguage));

    click (main().getOkButton());
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), deviceNotFound));

    ASSERT_NO_FATAL_FAILURE (plugIn());
    ASSERT_TRUE (screen->waitForState (readyToUpdate));
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), readyToUpdate));

    // Unanswered until the updating screen has been looked at.
    click (main().getOkButton());
    ASSERT_TRUE (screen->waitForState (updating));
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), updating));

    ASSERT_TRUE (screen->waitForState (updateDone, waitMs, [&] { controller.serve (true); }));
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), updateDone));
}

TEST_P (Captions, FailedUpdate)
{
    start (Package::valid, GetParam());
    ASSERT_NO_FATAL_FAILURE (reach (updateFailed));
    expectScreen (main(), screen->window(), updateFailed);
}

TEST_P (Captions, PackageError)
{
    start (Package::missing, GetParam());
    click (main().getOkButton());
    ASSERT_EQ (main().getScreenState(), deviceNotFound);

    EXPECT_FALSE (main().getOkButton().isVisible());
    EXPECT_EQ (main().getCancelButton().getButtonText(), entry (4));
    EXPECT_EQ (main().getCancelButton().getBounds(), right);
    EXPECT_EQ (glyphText (main().getTextLayout()), entry (10));
    EXPECT_EQ (screen->window().getName(), entry (3));
}

// Choosing a language on the first screen: the catalogue loads it, both buttons are
// relabelled, the texts are laid out again in its typeface and the window is renamed.
TEST_P (Captions, ChoosingTheLanguageRelabelsAndRenames)
{
    const int language = GetParam();
    start (Package::valid, language == 0 ? 1 : 0);

    main().getLanguageBox().setSelectedId (language + 1, juce::sendNotificationSync);

    EXPECT_EQ (TxtLoader::instance()->currentLanguage, language);
    EXPECT_EQ (main().getLanguageBox().getSelectedId(), language + 1);
    ASSERT_NO_FATAL_FAILURE (expectScreen (main(), screen->window(), selectLanguage));

    // The heading, entry 8, leads the texts, in bold in the language's typeface.
    const auto& layout = main().getTextLayout();
    const auto heading = entry (8);
    ASSERT_TRUE (glyphText (layout).startsWith (heading)) << glyphText (layout);
    const auto advance = glyphAt (layout, heading.length() - 1).getRight() - glyphAt (layout, 0).getLeft();
    EXPECT_NEAR (advance, juce::Font (currentTypeface(), 13.0f, juce::Font::bold).getStringWidthFloat (heading), 0.05f);

    // OK then carries on in that language.
    click (main().getOkButton());
    expectScreen (main(), screen->window(), deviceNotFound);
}

INSTANTIATE_TEST_SUITE_P (EveryLanguage, Captions, ::testing::Range (0, 12));

// The window's title stays the application's name until the component is first laid out
// inside it.
TEST_F (AppTest, TitleFollowsTheFirstLayoutInsideTheWindow)
{
    const PackageFile packageFile (Package::valid);
    prepareLanguages (2);

    juce::Component window ("KVXUpdateProgram");
    MainComponent main;
    EXPECT_EQ (main.getWidth(), MainComponent::initialWidth);
    EXPECT_EQ (main.getHeight(), MainComponent::initialHeight);

    window.addAndMakeVisible (main);
    EXPECT_EQ (window.getName(), "KVXUpdateProgram");

    main.setSize (426, 176);
    EXPECT_EQ (window.getName(), entry (3));
    EXPECT_NE (window.getName(), "Updater Program");
}
