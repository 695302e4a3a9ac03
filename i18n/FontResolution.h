#pragma once

#include <juce_graphics/juce_graphics.h>

// The text resources name each language's typeface by its Windows family: "Arial",
// "Microsoft YaHei", "Malgun Gothic", "MS UI Gothic" (TxtLoader::getFontName). The names
// stay as they are; wherever one is handed to JUCE — a Font's typeface, the process-wide
// fallback (Font::setFallbackFontName), a button's font name — hand over
// resolveFontName (name) instead.
//
// On Windows the result is the name itself. On Linux those families are not installed,
// and JUCE 7 there draws nothing at all for a family it does not know (as typeface or as
// fallback), and a missing-glyph box for a character its font lacks (there is no
// per-glyph fallback). So there the result is an installed family that covers the
// language of that name together with the Latin letters inside its sentences ("KVX-70",
// "SHIFT", "SYNC"): the name itself if installed, otherwise, with the project's font
// packages, "Arial" → Liberation Sans, "Microsoft YaHei" → Noto Sans CJK SC,
// "Malgun Gothic" → Noto Sans CJK KR, "MS UI Gothic" → Noto Sans CJK JP. Any other name
// that is not installed, the empty one included, resolves to the default sans-serif
// typeface, which prepareFonts makes one that covers all twelve languages.
//
// Cheap after the first call (the answers are kept). Message thread.
juce::String resolveFontName (const juce::String& fontName);

// Makes the resolved fonts usable. Call once after JUCE is initialised (and after any
// LookAndFeel::setDefaultLookAndFeel), before the first text is drawn; again after a new
// initialisation of JUCE in the same process. On Linux it registers the CJK font
// collections through the links in the "fonts" folder next to the executable (JUCE's
// scanner sees no .ttc files; the build makes the links) and makes the default
// sans-serif typeface — the one of the language chooser's face and list — a family that
// covers all twelve language names. On Windows it does nothing.
void prepareFonts();
