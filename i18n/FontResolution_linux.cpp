#include "i18n/FontResolution.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <map>

namespace
{
    // Next to the executable; the build fills it with .ttf-named links to the CJK font
    // collections (.ttc), which JUCE's own font scan skips.
    constexpr const char* fontsFolderName = "fonts";

    // Families that hold Latin, Cyrillic, Simplified and Traditional Chinese, Hangul and
    // Kana in one typeface, by preference.
    const char* const allScriptFamilies[] = {
        "Noto Sans CJK SC", "Noto Sans CJK JP", "Noto Sans CJK TC", "Noto Sans CJK KR",
        "Noto Sans CJK HK", "Source Han Sans SC", "Source Han Sans JP", "Source Han Sans TC",
        "Source Han Sans KR",
    };

    // Installed stand-ins for the Windows families of the text resources, by preference;
    // when none is installed, an all-script family is taken.
    struct Substitute
    {
        const char* windowsFamily;
        std::initializer_list<const char*> families;
    };

    const Substitute latinSubstitute { "Arial", { "Liberation Sans", "Arimo", "DejaVu Sans" } };

    const Substitute cjkSubstitutes[] = {
        { "Microsoft YaHei", { "Noto Sans CJK SC", "Source Han Sans SC", "Source Han Sans CN" } },
        { "Malgun Gothic",   { "Noto Sans CJK KR", "Source Han Sans KR", "Source Han Sans K" } },
        { "MS UI Gothic",    { "Noto Sans CJK JP", "Source Han Sans JP", "Source Han Sans" } },
    };

    struct FontState
    {
        bool prepared = false;
        juce::StringArray folderFamilies;      // what the fonts folder added to JUCE's list
        std::map<juce::String, juce::String> resolved;
        juce::String defaultSans;              // as set on the default look-and-feel
        std::map<juce::String, float> capitalShares;
    };

    FontState& fontState()
    {
        static FontState state;
        return state;
    }

    bool isCjkFamily (const juce::String& family)
    {
        for (auto* candidate : allScriptFamilies)
            if (family == candidate)
                return true;

        for (const auto& substitute : cjkSubstitutes)
            for (auto* candidate : substitute.families)
                if (family == candidate)
                    return true;

        return false;
    }

    bool hasCjkCharacters (const juce::String& text)
    {
        for (auto p = text.getCharPointer(); ! p.isEmpty();)
        {
            const auto c = p.getAndAdvance();

            if ((c >= 0x1100 && c <= 0x11ff)       // Hangul Jamo
                || (c >= 0x2e80 && c <= 0x9fff)    // CJK radicals and symbols, Kana, Han
                || (c >= 0xac00 && c <= 0xd7af)    // Hangul syllables
                || (c >= 0xf900 && c <= 0xfaff)    // CJK compatibility ideographs
                || (c >= 0xff00 && c <= 0xffef)    // full-width forms
                || c >= 0x20000)                   // further Han
                return true;
        }

        return false;
    }

    bool containsAll (const juce::StringArray& families, const juce::StringArray& wanted)
    {
        for (const auto& family : wanted)
            if (! families.contains (family))
                return false;

        return true;
    }

    bool isPlaceholder (const juce::String& name)
    {
        return name == juce::Font::getDefaultSansSerifFontName()
            || name == juce::Font::getDefaultSerifFontName()
            || name == juce::Font::getDefaultMonospacedFontName();
    }

    // Registers the collections behind the links, once per initialisation of JUCE: JUCE's
    // font list lives only that long.
    void scanFontsFolder (FontState& state)
    {
        const auto before = juce::Font::findAllTypefaceNames();

        if (! state.folderFamilies.isEmpty() && containsAll (before, state.folderFamilies))
            return;

        const auto folder = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                                .getSiblingFile (fontsFolderName);

        if (! folder.isDirectory())
            return;

        juce::Typeface::scanFolderForFonts (folder);

        // A font of one of these families asked for before they were known is cached
        // without glyphs.
        juce::Typeface::clearTypefaceCache();

        if (state.folderFamilies.isEmpty())
            for (const auto& family : juce::Font::findAllTypefaceNames())
                if (! before.contains (family))
                    state.folderFamilies.add (family);
    }

    // The installed family for `fontName` among `families`; empty when none is.
    juce::String installedFamilyFor (const juce::String& fontName, const juce::StringArray& families)
    {
        if (isPlaceholder (fontName) || (fontName.isNotEmpty() && families.contains (fontName)))
            return fontName;

        auto pick = [&] (const Substitute& substitute) -> juce::String
        {
            if (fontName == substitute.windowsFamily)
                for (auto* family : substitute.families)
                    if (families.contains (family))
                        return family;

            return {};
        };

        if (auto latin = pick (latinSubstitute); latin.isNotEmpty())
            return latin;

        for (const auto& substitute : cjkSubstitutes)
            if (auto cjk = pick (substitute); cjk.isNotEmpty())
                return cjk;

        return {};
    }

    // The height of a capital letter as a share of the font's height: a property of the
    // typeface, kept per typeface, since list items are drawn at every repaint.
    float capitalShare (const juce::Font& font)
    {
        if (font.getHeight() <= 0.0f)
            return 0.0f;

        auto& shares = fontState().capitalShares;
        const auto typeface = font.getTypefacePtr();
        const auto key = (typeface != nullptr ? typeface->getName() : font.getTypefaceName())
                       + "/" + font.getTypefaceStyle();

        if (const auto known = shares.find (key); known != shares.end())
            return known->second;

        juce::GlyphArrangement glyphs;
        glyphs.addLineOfText (font, "H", 0.0f, 0.0f);

        juce::Path outline;
        if (glyphs.getNumGlyphs() > 0)
            glyphs.getGlyph (0).createPath (outline);

        return shares[key] = outline.getBounds().getHeight() / font.getHeight();
    }

    juce::String allScriptFamily (const juce::StringArray& families)
    {
        for (auto* family : allScriptFamilies)
            if (families.contains (family))
                return family;

        return {};
    }
}

void prepareFonts()
{
    auto& state = fontState();
    state.resolved.clear();
    state.capitalShares.clear();
    state.defaultSans = {};
    juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypefaceName ({});
    state.prepared = true;
}

juce::String resolveFontName (const juce::String& fontName)
{
    auto& state = fontState();

    if (! state.prepared)
        prepareFonts();

    if (const auto known = state.resolved.find (fontName); known != state.resolved.end())
        return known->second;

    auto families = juce::Font::findAllTypefaceNames();
    auto result = installedFamilyFor (fontName, families);

    // Neither the name nor a Latin stand-in is installed: it needs the CJK collections,
    // either for its own script or for the family that draws every language.
    if (result.isEmpty())
    {
        scanFontsFolder (state);
        families = juce::Font::findAllTypefaceNames();
        result = installedFamilyFor (fontName, families);
    }

    if (result.isEmpty())
        result = allScriptFamily (families);

    if (result.isEmpty())
        result = juce::Font::getDefaultSansSerifFontName();

    state.resolved[fontName] = result;
    return result;
}

void setLanguageFallback (const juce::String& family)
{
    juce::Font::setFallbackFontName (family);

    // JUCE looks every typeface up through the default look-and-feel; empty leaves the
    // default sans-serif family to JUCE's choice (Liberation Sans here, without CJK).
    auto& state = fontState();
    const auto defaultSans = isCjkFamily (family) ? family : juce::String();

    if (defaultSans == state.defaultSans)
        return;

    state.defaultSans = defaultSans;
    juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypefaceName (defaultSans);

    // A font that has already been drawn keeps the typeface it found (the chooser's face
    // would show the new language's name in the old one, as boxes): the windows' controls
    // take their fonts anew.
    auto& desktop = juce::Desktop::getInstance();

    for (int i = 0; i < desktop.getNumComponents(); ++i)
        if (auto* window = desktop.getComponent (i))
            window->sendLookAndFeelChange();
}

juce::Font withFallbackForText (const juce::Font& font, const juce::String& text)
{
    const auto fallback = juce::Font::getFallbackFontName();

    if (! hasCjkCharacters (text) || ! isCjkFamily (fallback))
        return font;

    // The system's fallback draws borrowed glyphs at the em size of the font's own. JUCE
    // sizes a font by its line height, and the CJK families' lines are much taller for the
    // same em, so the height is scaled until the capital letters of both fonts match.
    auto shown = font;
    shown.setTypefaceName (fallback);

    const auto own = capitalShare (font);
    const auto borrowed = capitalShare (shown);

    if (own > 0.0f && borrowed > 0.0f)
        shown.setHeight (font.getHeight() * own / borrowed);

    return shown;
}
