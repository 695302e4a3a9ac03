#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"
#include "ui/LangLookAndFeel.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
    const juce::Colour background (0xffdddddd);
    const juce::Colour navy (0xff000040);
    const juce::String fallbackBefore ("KVX screen fallback");

    // Remembers the fallback typeface at the moment the item asks for its font, which it
    // does once the item's language font has been put in place.
    struct RecordingLook : public LangLookAndFeel
    {
        juce::Font getPopupMenuFont() override
        {
            fallbackWhileDrawing.add (juce::Font::getFallbackFontName());
            return LangLookAndFeel::getPopupMenuFont();
        }

        juce::StringArray fallbackWhileDrawing;
    };

    struct ItemFlags
    {
        bool separator = false, active = true, highlighted = false, ticked = false, subMenu = false;
        juce::String shortcut;
    };

    struct InkBounds
    {
        int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
        bool any() const { return right >= 0; }
    };

    class LangLook : public testing::Test
    {
    protected:
        LangLook()
        {
            prepareFonts();
            juce::Font::setFallbackFontName (fallbackBefore);
        }

        ~LangLook() override
        {
            juce::Font::setFallbackFontName ({});
            TxtLoader::deleteInstance();
        }

        static juce::Image drawItem (juce::LookAndFeel_V2& look, int width, int height,
                                     const juce::String& text, const ItemFlags& flags = {})
        {
            juce::Image image (juce::Image::ARGB, width, height, true);
            juce::Graphics g (image);
            g.fillAll (background);
            look.drawPopupMenuItem (g, { 0, 0, width, height }, flags.separator, flags.active, flags.highlighted,
                                    flags.ticked, flags.subMenu, text, flags.shortcut, nullptr, nullptr);
            return image;
        }

        static InkBounds inkOf (const juce::Image& image)
        {
            InkBounds bounds;

            for (int y = 0; y < image.getHeight(); ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    if (image.getPixelAt (x, y) != background)
                    {
                        bounds.left = std::min (bounds.left, x);
                        bounds.right = std::max (bounds.right, x);
                        bounds.top = std::min (bounds.top, y);
                        bounds.bottom = std::max (bounds.bottom, y);
                    }

            return bounds;
        }

        static bool sameImages (const juce::Image& a, const juce::Image& b)
        {
            for (int y = 0; y < a.getHeight(); ++y)
                for (int x = 0; x < a.getWidth(); ++x)
                    if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                        return false;

            return true;
        }

        static float darkest (const juce::Image& image)
        {
            float value = 1.0f;

            for (int y = 0; y < image.getHeight(); ++y)
                for (int x = 0; x < image.getWidth(); ++x)
                    value = std::min (value, image.getPixelAt (x, y).getBrightness());

            return value;
        }

        juce::ScopedJuceInitialiser_GUI juce;
    };
}

TEST_F (LangLook, AHighlightedItemIsFilledNavyInsideAOnePixelBorderWithWhiteText)
{
    LangLookAndFeel look;
    const auto image = drawItem (look, 386, 20, "English", { false, true, true });

    EXPECT_EQ (image.getPixelAt (0, 0), background);
    EXPECT_EQ (image.getPixelAt (385, 19), background);
    EXPECT_EQ (image.getPixelAt (200, 0), background);
    EXPECT_EQ (image.getPixelAt (0, 10), background);
    EXPECT_EQ (image.getPixelAt (1, 1), navy);
    EXPECT_EQ (image.getPixelAt (384, 18), navy);
    EXPECT_EQ (image.getPixelAt (384, 1), navy);
    EXPECT_EQ (image.getPixelAt (1, 18), navy);

    int white = 0;
    for (int y = 1; y < 19; ++y)
        for (int x = 25; x < 120; ++x)
        {
            const auto pixel = image.getPixelAt (x, y);
            white += pixel == juce::Colours::white;
            EXPECT_GE (pixel.getBlue(), pixel.getRed()) << x << "," << y;   // navy to white, nothing else
        }

    EXPECT_GT (white, 5);
}

TEST_F (LangLook, AnItemThatIsNotHighlightedHasBlackTextAndNoFill)
{
    LangLookAndFeel look;
    const auto image = drawItem (look, 386, 20, "English");

    EXPECT_EQ (image.getPixelAt (1, 1), background);
    EXPECT_EQ (image.getPixelAt (384, 18), background);
    EXPECT_LT (darkest (image), 0.1f);
}

TEST_F (LangLook, EachLanguageNameIsDrawnWhileItsOwnFontIsTheFallbackWhichIsRestoredAfterwards)
{
    RecordingLook look;
    auto* loader = TxtLoader::instance();

    for (int language = 0; language < TxtLoader::languageCount; ++language)
    {
        look.fallbackWhileDrawing.clear();
        drawItem (look, 386, 20, loader->getLanguageName (language));

        ASSERT_EQ (look.fallbackWhileDrawing.size(), 1);
        EXPECT_EQ (look.fallbackWhileDrawing[0], resolveFontName (loader->getFontName (language)))
            << loader->getLanguageName (language);
        EXPECT_EQ (juce::Font::getFallbackFontName(), fallbackBefore);
    }

    EXPECT_EQ (look.fallbackWhileDrawing[0], resolveFontName ("MS UI Gothic"));
}

TEST_F (LangLook, OnlyTheCaseOfAToZIsIgnoredWhenMatchingLanguageNames)
{
    RecordingLook look;

    struct Case { const char* text; const char* fontWhileDrawn; };
    const Case cases[] = {
        { "ENGLISH",   "Arial" },
        { "deutsch",   "Arial" },
        { "NeDeRlAnDs", "Arial" },
        { "FRAN\xC3\x87" "AIS", nullptr },                               // upper-case C cedilla: not A to Z
        { "\xD1\x80\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9", nullptr },   // lower-case Cyrillic
        { "Klingon", nullptr },
        { "English ", nullptr },
        { "", nullptr },
    };

    for (const auto& c : cases)
    {
        look.fallbackWhileDrawing.clear();
        const auto text = juce::String (juce::CharPointer_UTF8 (c.text));
        drawItem (look, 386, 20, text);

        ASSERT_EQ (look.fallbackWhileDrawing.size(), 1);
        EXPECT_EQ (look.fallbackWhileDrawing[0], c.fontWhileDrawn != nullptr ? resolveFontName (c.fontWhileDrawn)
                                                                             : fallbackBefore) << c.text;
        EXPECT_EQ (juce::Font::getFallbackFontName(), fallbackBefore);
    }
}

TEST_F (LangLook, TheLanguagesFallbackDrawsItsNameWhereTheMenuFontIsMissing)
{
    LangLookAndFeel look;
    const auto japanese = TxtLoader::instance()->getLanguageName (11);
    EXPECT_TRUE (inkOf (drawItem (look, 386, 20, "Klingon")).any());

    // A menu typeface that does not exist draws nothing by itself.
    juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypefaceName ("KVX test: no such family");

    EXPECT_TRUE (inkOf (drawItem (look, 386, 20, japanese)).any());
    EXPECT_FALSE (inkOf (drawItem (look, 386, 20, "Klingon")).any());
}

// The menu font (JUCE's default sans-serif, Latin only here while the screen's language is
// not a CJK one) lacks the Han, Kana and Hangul of four names. Their items are drawn in
// their own language's font, with glyphs as large as the Latin names' (the CJK families'
// lines are much taller for the same em).
TEST_F (LangLook, ACjkNameIsDrawnInItsLanguagesFontAsLargeAsTheLatinNames)
{
    LangLookAndFeel look;
    auto* loader = TxtLoader::instance();
    const auto menuFont = juce::Font (17.0f).withHeight (20.0f / 1.3f);
    const auto latin = inkOf (drawItem (look, 386, 20, "Deutsch"));   // no descender

    for (int language : { 8, 9, 10, 11 })
    {
        const auto name = loader->getLanguageName (language);
        const auto drawn = drawItem (look, 386, 20, name);

        juce::Image inItsFont (juce::Image::ARGB, 386, 20, true);
        {
            juce::Graphics g (inItsFont);
            g.fillAll (background);
            g.setColour (juce::Colours::black);
            juce::Font::setFallbackFontName (resolveFontName (loader->getFontName (language)));
            g.setFont (withFallbackForText (menuFont, name));
            juce::Font::setFallbackFontName (fallbackBefore);
            g.drawFittedText (name, 25, 0, 386 - 29, 20, juce::Justification::centredLeft, 1, 0.7f);
        }

        EXPECT_TRUE (sameImages (drawn, inItsFont)) << name;

        const auto ink = inkOf (drawn);
        EXPECT_GE (ink.bottom - ink.top, latin.bottom - latin.top) << name;
    }
}

TEST_F (LangLook, FontSizeAndLeftBorderFollowTheItemHeight)
{
    LangLookAndFeel look;

    struct Case { int height; float fontHeight; int leftBorder; };
    const Case cases[] = {
        { 20, 20.0f / 1.3f, 25 },
        { 24, 17.0f,        30 },
        { 12, 12.0f / 1.3f, 15 },
    };

    for (const auto& c : cases)
    {
        const int width = 200;
        const auto item = drawItem (look, width, c.height, "Hallo");

        juce::Image expected (juce::Image::ARGB, width, c.height, true);
        {
            juce::Graphics g (expected);
            g.fillAll (background);
            g.setColour (juce::Colours::black);
            g.setFont (juce::Font (c.fontHeight));
            g.drawFittedText ("Hallo", c.leftBorder, 0, width - c.leftBorder - 4, c.height,
                              juce::Justification::centredLeft, 1, 0.7f);
        }

        EXPECT_TRUE (sameImages (item, expected)) << "item height " << c.height;
        EXPECT_GE (inkOf (item).left, c.leftBorder) << "item height " << c.height;
    }
}

TEST_F (LangLook, TheTickOfTheSelectedItemFitsTheLeftBorderAndTheFontsAscent)
{
    LangLookAndFeel look;
    ItemFlags ticked;
    ticked.ticked = true;

    for (int height : { 12, 20, 24 })
    {
        const int leftBorder = (height * 5) / 4;
        const float ascent = juce::Font (std::min (17.0f, (float) height / 1.3f)).getAscent();
        const float top = (float) height * 0.5f - ascent * 0.5f;
        const auto ink = inkOf (drawItem (look, 200, height, "", ticked));

        ASSERT_TRUE (ink.any());
        EXPECT_GE (ink.left, 1);
        EXPECT_LE (ink.right, leftBorder - 2);
        EXPECT_GE (ink.top, (int) std::floor (top) - 1);
        EXPECT_LE (ink.bottom, (int) std::ceil (top + ascent));

        // Scaled up until it meets the box on one side.
        const bool fillsHeight = (float) (ink.bottom - ink.top + 1) >= ascent - 1.5f;
        const bool fillsWidth = ink.right - ink.left + 1 >= leftBorder - 4 - 1;
        EXPECT_TRUE (fillsHeight || fillsWidth) << "item height " << height;
    }
}

TEST_F (LangLook, AnInactiveItemIsDrawnAt30PercentOpacity)
{
    LangLookAndFeel look;
    ItemFlags inactive;
    inactive.active = false;

    const auto active = darkest (drawItem (look, 200, 20, "Hallo"));
    const auto faded = darkest (drawItem (look, 200, 20, "Hallo", inactive));
    const auto backgroundBrightness = background.getBrightness();

    EXPECT_LT (active, 0.1f);
    EXPECT_NEAR (faded, backgroundBrightness * 0.7f, 0.05f);
}

TEST_F (LangLook, ASeparatorIsTwoThinLinesAndLeavesTheFallbackAlone)
{
    RecordingLook look;
    ItemFlags separator;
    separator.separator = true;

    const auto image = drawItem (look, 200, 20, "English", separator);
    const auto ink = inkOf (image);

    EXPECT_TRUE (look.fallbackWhileDrawing.isEmpty());
    EXPECT_EQ (juce::Font::getFallbackFontName(), fallbackBefore);
    ASSERT_TRUE (ink.any());
    EXPECT_GE (ink.left, 5);
    EXPECT_LE (ink.right, 194);
    EXPECT_GE (ink.top, 9);
    EXPECT_LE (ink.bottom, 11);
    EXPECT_LT (image.getPixelAt (100, 9).getBrightness(), background.getBrightness());
    EXPECT_GT (image.getPixelAt (100, 11).getBrightness(), background.getBrightness());
}

TEST_F (LangLook, SubMenuArrowAndShortcutSitAtTheRight)
{
    LangLookAndFeel look;
    ItemFlags subMenu;
    subMenu.subMenu = true;

    const float arrowH = 0.6f * juce::Font (17.0f).getAscent();
    const auto arrow = inkOf (drawItem (look, 200, 20, "", subMenu));
    ASSERT_TRUE (arrow.any());
    EXPECT_NEAR (arrow.left, 200 - 12, 1);
    EXPECT_NEAR (arrow.right, 200 - 12 + arrowH * 0.6f, 1.5);

    ItemFlags shortcut;
    shortcut.shortcut = "Ctrl+L";
    const auto text = inkOf (drawItem (look, 200, 20, "", shortcut));
    ASSERT_TRUE (text.any());
    EXPECT_LE (text.right, 200 - 8);
    EXPECT_GT (text.left, 100);
}
