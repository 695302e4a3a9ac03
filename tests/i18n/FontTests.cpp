// Text in all twelve languages must come out as real glyphs on this system: each language in
// the typeface its Windows font name resolves to, the language chooser in the default
// sans-serif typeface. JUCE on Linux draws nothing for a family it does not know and a
// missing-glyph box for a character the font lacks, so both are looked for.
#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

namespace
{
    const char* const languageNames[] = { "English", "Francais", "Deutsch", "Espanol", "Italiano", "Nederlands",
                                          "Russian", "Portugues", "SimplifiedChinese", "TraditionalChinese",
                                          "Korean", "Japanese" };

    constexpr juce::juce_wchar surelyMissing = 0x10FFFD;     // private use, in no font

    class Fonts : public testing::Test
    {
    protected:
        Fonts()
        {
            prepareFonts();
            previousFallback = juce::Font::getFallbackFontName();
            // Nothing may be borrowed from a fallback: a glyph the font lacks must show.
            juce::Font::setFallbackFontName ("KVX test: no such family");
        }

        ~Fonts() override
        {
            juce::Font::setFallbackFontName (previousFallback);
        }

        static juce::Path outlineOf (const juce::Font& font, juce::juce_wchar c)
        {
            juce::GlyphArrangement glyphs;
            glyphs.addLineOfText (font, juce::String::charToString (c), 0.0f, 0.0f);

            juce::Path path;
            if (glyphs.getNumGlyphs() > 0)
                glyphs.getGlyph (0).createPath (path);

            return path;
        }

        static int inkOf (const juce::Font& font, juce::juce_wchar c)
        {
            const int size = (int) font.getHeight() * 3;
            juce::Image image (juce::Image::RGB, size, size, true);
            {
                juce::Graphics g (image);
                g.fillAll (juce::Colours::white);
                g.setColour (juce::Colours::black);
                g.setFont (font);
                g.drawSingleLineText (juce::String::charToString (c), size / 3, size * 2 / 3);
            }

            int ink = 0;
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    ink += image.getPixelAt (x, y).getBrightness() < 0.5f;

            return ink;
        }

        static bool isBlank (juce::juce_wchar c)
        {
            return c == ' ' || c == '\n' || c == 0x3000;
        }

        // The characters of `text` that the font does not draw as real glyphs: no ink, or the
        // shape it draws for a character it lacks.
        static juce::String missingCharacters (const juce::Font& font, const juce::String& text)
        {
            const auto box = outlineOf (font, surelyMissing).toString();
            std::set<juce::juce_wchar> seen;
            juce::String missing;

            for (auto p = text.getCharPointer(); ! p.isEmpty();)
            {
                const auto c = p.getAndAdvance();

                if (isBlank (c) || ! seen.insert (c).second)
                    continue;

                const auto outline = outlineOf (font, c);

                if (outline.isEmpty() || outline.toString() == box || inkOf (font, c) == 0)
                    missing << juce::String::charToString (c);
            }

            return missing;
        }

        // The texts as the screens show them.
        static juce::String shown (const juce::String& entry, int language)
        {
            char buffer[1024];
            const auto format = entry.toStdString();

            if (language >= 8)
                std::snprintf (buffer, sizeof buffer, format.c_str(), "SHIFT", "SYNC", "KVX-70");
            else
                std::snprintf (buffer, sizeof buffer, format.c_str(), "KVX-70", "SHIFT", "SYNC");

            return juce::String (juce::CharPointer_UTF8 (buffer));
        }

        juce::ScopedJuceInitialiser_GUI juce;
        juce::String previousFallback;
    };

    class LanguageFont : public Fonts, public testing::WithParamInterface<int> {};
}

TEST_F (Fonts, EveryWindowsFontNameResolvesToAnInstalledFamily)
{
    TxtLoader loader;

    for (int language = 0; language < TxtLoader::languageCount; ++language)
    {
        const auto resolved = resolveFontName (loader.getFontName (language));
        EXPECT_TRUE (juce::Font::findAllTypefaceNames().contains (resolved)) << loader.getFontName (language) << " -> " << resolved;
        RecordProperty (loader.getFontName (language).toStdString(), resolved.toStdString());
    }

    EXPECT_EQ (loader.getFontName (0), "Arial");   // the resource keeps its names
}

TEST_F (Fonts, TheCheckSeesMissingGlyphBoxesAndMissingFamilies)
{
    const juce::Font latinOnly (resolveFontName ("Arial"), 13.0f, juce::Font::plain);
    EXPECT_EQ (missingCharacters (latinOnly, "SYNC"), "");
    EXPECT_EQ (missingCharacters (latinOnly, juce::String (juce::CharPointer_UTF8 ("\xE6\x97\xA5 a"))),
               juce::String (juce::CharPointer_UTF8 ("\xE6\x97\xA5")));

    const juce::Font notInstalled ("Microsoft YaHei KVX", 13.0f, juce::Font::plain);
    EXPECT_EQ (missingCharacters (notInstalled, "ab"), "ab");
}

TEST_P (LanguageFont, DrawsTheLanguageNameAndEveryEntryWithRealGlyphs)
{
    const int language = GetParam();
    TxtLoader loader;
    loader.setLanguage (language);
    const auto family = resolveFontName (loader.getFontName (language));

    for (auto style : { juce::Font::plain, juce::Font::bold })
    {
        const juce::Font font (family, 13.0f, style);
        SCOPED_TRACE (family + (style == juce::Font::bold ? " bold" : " plain"));

        EXPECT_EQ (missingCharacters (font, loader.getLanguageName (language)), "");

        for (int entry = 1; entry < TxtLoader::catalogueSize; ++entry)
            EXPECT_EQ (missingCharacters (font, shown (loader.getString (entry), language)), "")
                << "entry " << entry << ": " << loader.getString (entry);
    }
}

INSTANTIATE_TEST_SUITE_P (AllLanguages, LanguageFont, testing::Range (0, 12),
                          [] (const testing::TestParamInfo<int>& info) { return std::string (languageNames[info.param]); });

// The chooser's face shows the current language's name in the default sans-serif typeface
// while the screen has made that language's font the fallback; each item of its list is
// drawn while the item's own language font is the fallback (LangLookAndFeel). Every name
// must come out as real glyphs both ways, whichever language is current.
TEST_F (Fonts, TheChooserShowsEveryLanguageNameInItsFaceAndInItsList)
{
    TxtLoader loader;

    for (int current = 0; current < TxtLoader::languageCount; ++current)
    {
        setLanguageFallback (resolveFontName (loader.getFontName (current)));
        EXPECT_EQ (missingCharacters (juce::Font (15.0f), loader.getLanguageName (current)), "")
            << "face with " << loader.getLanguageName (current) << " current";

        for (int item = 0; item < TxtLoader::languageCount; ++item)
        {
            const auto screenFallback = juce::Font::getFallbackFontName();
            juce::Font::setFallbackFontName (resolveFontName (loader.getFontName (item)));
            const auto itemFont = withFallbackForText (juce::Font (20.0f / 1.3f), loader.getLanguageName (item));
            juce::Font::setFallbackFontName (screenFallback);

            EXPECT_EQ (missingCharacters (itemFont, loader.getLanguageName (item)), "")
                << "item " << loader.getLanguageName (item) << " with " << loader.getLanguageName (current) << " current";
        }
    }
}

// Registering the CJK collections is a large part of a start: a start in a language that
// does not need them must not pay for it.
TEST_F (Fonts, TheCjkCollectionsAreRegisteredOnlyWhenAFontNeedsThem)
{
    if (juce::Font::findAllTypefaceNames().contains ("Noto Sans CJK JP"))
        GTEST_SKIP() << "the system's own font list already has the CJK families";

    TxtLoader loader;

    for (int language = 0; language < 8; ++language)
        setLanguageFallback (resolveFontName (loader.getFontName (language)));

    EXPECT_FALSE (juce::Font::findAllTypefaceNames().contains ("Noto Sans CJK JP"));

    EXPECT_EQ (resolveFontName ("MS UI Gothic"), "Noto Sans CJK JP");
    EXPECT_TRUE (juce::Font::findAllTypefaceNames().contains ("Noto Sans CJK JP"));
}

TEST_F (Fonts, NamesThatAreNotInstalledResolveToATypefaceThatDrawsEveryLanguage)
{
    TxtLoader loader;

    for (const char* name : { "", "Tahoma", "Hiragino Maru Gothic Pro W4" })
    {
        const juce::Font font (resolveFontName (name), 13.0f, juce::Font::plain);

        for (int language = 0; language < TxtLoader::languageCount; ++language)
            EXPECT_EQ (missingCharacters (font, loader.getLanguageName (language)), "") << "'" << name << "'";
    }
}

TEST_F (Fonts, ResolvedNamesAreInstalledFamiliesThatStayTheSame)
{
    const auto installed = juce::Font::findAllTypefaceNames();
    ASSERT_TRUE (installed.contains ("Liberation Sans"));
    EXPECT_EQ (resolveFontName ("Liberation Sans"), "Liberation Sans");
    EXPECT_EQ (resolveFontName ("MS UI Gothic"), resolveFontName ("MS UI Gothic"));
    EXPECT_EQ (resolveFontName (juce::Font::getDefaultSansSerifFontName()), juce::Font::getDefaultSansSerifFontName());
}

namespace
{
    // Lines that addFittedText makes of a text, as the screens lay it out: the distinct
    // baselines of its visible glyphs. `complete` tells whether every visible character
    // was kept (no text cut off).
    struct Layout { int lines; bool complete; juce::String splitWord; };

    // A word broken at its hyphen across two lines: "KVX-" at one line's end, "70" below.
    juce::String splitWordIn (juce::GlyphArrangement& glyphs)
    {
        for (const juce::String word : { "KVX-70", "USB-A" })
        {
            for (int start = 0; start + word.length() <= glyphs.getNumGlyphs(); ++start)
            {
                bool matches = true;
                for (int k = 0; k < word.length() && matches; ++k)
                    matches = glyphs.getGlyph (start + k).getCharacter() == word[k];

                if (matches && glyphs.getGlyph (start).getBaselineY() != glyphs.getGlyph (start + word.length() - 1).getBaselineY())
                    return word;
            }
        }

        return {};
    }

    Layout layOut (const juce::Font& font, const juce::String& text, float width, int maximumLines)
    {
        juce::GlyphArrangement glyphs;
        glyphs.addFittedText (font, text, 0.0f, 0.0f, width, (float) maximumLines * 16.0f,
                              juce::Justification::topLeft, maximumLines, 0.7f);

        std::set<int> baselines;
        int visible = 0;

        for (int i = 0; i < glyphs.getNumGlyphs(); ++i)
        {
            const auto& glyph = glyphs.getGlyph (i);

            if (! glyph.isWhitespace())
            {
                baselines.insert (juce::roundToInt (glyph.getBaselineY()));
                ++visible;
            }
        }

        int characters = 0;
        for (auto p = text.getCharPointer(); ! p.isEmpty();)
            characters += ! juce::CharacterFunctions::isWhitespace (p.getAndAdvance());

        return { (int) baselines.size(), visible == characters, splitWordIn (glyphs) };
    }
}

TEST_P (LanguageFont, InstructionsFitTheLinesTheScreensGiveThem)
{
    const int language = GetParam();
    TxtLoader loader;
    loader.setLanguage (language);
    const juce::Font font (resolveFontName (loader.getFontName (language)), 13.0f, juce::Font::plain);

    // Connection steps: box width 306; update-mode step: 366.
    const int step1Lines = (language >= 8 && language <= 10) ? 1 : 2;
    const int step2Lines = (language == 0 || language == 3 || language == 5 || language == 7) ? 3
                         : (language >= 8 ? 2 : 4);
    const int updateModeLines = language == 0 ? 2 : (language <= 7 ? 3 : (language <= 9 ? 1 : 2));

    struct Block { int entry; float width; int lines; };
    for (const auto& block : { Block { 21, 306.0f, step1Lines }, Block { 22, 306.0f, step2Lines },
                               Block { 23, 306.0f, 1 }, Block { 24, 366.0f, updateModeLines } })
    {
        const auto text = shown (loader.getString (block.entry), language);
        const auto layout = layOut (font, text, block.width, block.lines);

        EXPECT_LE (layout.lines, block.lines) << "entry " << block.entry << ": " << text;
        EXPECT_TRUE (layout.complete) << "entry " << block.entry << " is cut: " << text;
        EXPECT_TRUE (layout.splitWord.isEmpty()) << "entry " << block.entry << " breaks " << layout.splitWord << " at its hyphen: " << text;
    }
}

TEST_P (LanguageFont, HeadingsTakeOneLineAndOnlyTheRussianReadyHeadingTwo)
{
    const int language = GetParam();
    TxtLoader loader;
    loader.setLanguage (language);
    const juce::Font bold (resolveFontName (loader.getFontName (language)), 13.0f, juce::Font::bold);

    // The ready screen's heading: box width 386, followed by two line feeds.
    EXPECT_EQ (layOut (bold, shown (loader.getString (12), language) + "\n\n", 386.0f, 12).lines, language == 6 ? 2 : 1);

    EXPECT_EQ (layOut (bold, loader.getString (8) + "\n\n", 386.0f, 12).lines, 1);
    EXPECT_EQ (layOut (bold, shown (loader.getString (15), language) + "\n\n", 386.0f, 12).lines, 1);
    EXPECT_EQ (layOut (bold, shown (loader.getString (20), language), 306.0f, 1).lines, 1);
}
