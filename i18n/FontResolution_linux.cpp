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

    const Substitute substitutes[] = {
        { "Arial",           { "Liberation Sans", "Arimo", "DejaVu Sans" } },
        { "Microsoft YaHei", { "Noto Sans CJK SC", "Source Han Sans SC", "Source Han Sans CN" } },
        { "Malgun Gothic",   { "Noto Sans CJK KR", "Source Han Sans KR", "Source Han Sans K" } },
        { "MS UI Gothic",    { "Noto Sans CJK JP", "Source Han Sans JP", "Source Han Sans" } },
    };

    struct FontState
    {
        bool prepared = false;
        juce::StringArray folderFamilies;      // what the fonts folder added to JUCE's list
        juce::String allScriptFamily;
        std::map<juce::String, juce::String> resolved;
    };

    FontState& fontState()
    {
        static FontState state;
        return state;
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

    // Registers the collections behind the links. JUCE's font list lives only as long as
    // one initialisation of JUCE, so the scan is repeated when the families are gone.
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

        if (state.folderFamilies.isEmpty())
            for (const auto& family : juce::Font::findAllTypefaceNames())
                if (! before.contains (family))
                    state.folderFamilies.add (family);
    }
}

void prepareFonts()
{
    auto& state = fontState();
    scanFontsFolder (state);

    const auto families = juce::Font::findAllTypefaceNames();
    state.allScriptFamily = {};

    for (auto* family : allScriptFamilies)
    {
        if (families.contains (family))
        {
            state.allScriptFamily = family;
            break;
        }
    }

    // JUCE looks every typeface up through the default look-and-feel; its default
    // sans-serif family (Liberation Sans here) has no CJK or Hangul.
    if (state.allScriptFamily.isNotEmpty())
        juce::LookAndFeel::getDefaultLookAndFeel().setDefaultSansSerifTypefaceName (state.allScriptFamily);

    state.prepared = true;
}

juce::String resolveFontName (const juce::String& fontName)
{
    auto& state = fontState();

    if (! state.prepared)
        prepareFonts();

    if (const auto known = state.resolved.find (fontName); known != state.resolved.end())
        return known->second;

    const auto families = juce::Font::findAllTypefaceNames();
    juce::String result;

    if (isPlaceholder (fontName) || (fontName.isNotEmpty() && families.contains (fontName)))
        result = fontName;

    for (const auto& substitute : substitutes)
        if (result.isEmpty() && fontName == substitute.windowsFamily)
            for (auto* family : substitute.families)
                if (result.isEmpty() && families.contains (family))
                    result = family;

    if (result.isEmpty())
        result = state.allScriptFamily.isNotEmpty() ? state.allScriptFamily
                                                    : juce::Font::getDefaultSansSerifFontName();

    state.resolved[fontName] = result;
    return result;
}
