#include "i18n/FontResolution.h"

// Windows has the families the text resources name, and falls back per glyph.
juce::String resolveFontName (const juce::String& fontName)
{
    return fontName;
}

void prepareFonts()
{
}
