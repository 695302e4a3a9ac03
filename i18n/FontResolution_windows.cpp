#include "i18n/FontResolution.h"

// Windows has the families the text resources name, and falls back per glyph.
juce::String resolveFontName (const juce::String& fontName)
{
    return fontName;
}

void prepareFonts()
{
}

void setLanguageFallback (const juce::String& family)
{
    juce::Font::setFallbackFontName (family);
}

juce::Font withFallbackForText (const juce::Font& font, const juce::String&)
{
    return font;
}
