#pragma once

#include <juce_graphics/juce_graphics.h>

// The text resources name each language's typeface by its Windows family: "Arial",
// "Microsoft YaHei", "Malgun Gothic", "MS UI Gothic" (TxtLoader::getFontName). The names
// stay as they are; wherever one is handed to JUCE — a Font's typeface, the process-wide
// fallback, a button's font name — hand over resolveFontName (name) instead.
//
// On Windows the result is the name itself. On Linux those families are not installed,
// and JUCE 7 there draws nothing at all for a family it does not know, and a missing-glyph
// box for a character its font lacks (there is no per-glyph fallback). So there the result
// is an installed family that covers the language of that name together with the Latin
// letters inside its sentences ("KVX-70", "SHIFT", "SYNC"): the name itself if installed,
// otherwise, with the project's font packages, "Arial" → Liberation Sans,
// "Microsoft YaHei" → Noto Sans CJK SC, "Malgun Gothic" → Noto Sans CJK KR,
// "MS UI Gothic" → Noto Sans CJK JP. Any other name that is not installed, the empty one
// included, resolves to a family that draws all twelve languages.
//
// The CJK families come from collections that cost a noticeable part of a start to
// register, so they are registered at the first resolution that needs them, not before.
// Cheap after the first call (the answers are kept). Message thread.
juce::String resolveFontName (const juce::String& fontName);

// Call once after JUCE is initialised (and after any LookAndFeel::setDefaultLookAndFeel),
// before the first text is drawn; again after a new initialisation of JUCE in the same
// process. Registers nothing by itself; it forgets what an earlier initialisation of JUCE
// had registered and gives the default sans-serif typeface back to JUCE's own choice.
void prepareFonts();

// Makes `family` (a resolved name) the process-wide fallback typeface, as the screen does
// for its current language. On Windows that is all: the system takes from the fallback
// every glyph the default sans-serif typeface (the language chooser's face) lacks. Linux
// has no such fallback, so there the default sans-serif typeface becomes `family` as well
// when `family` is a CJK one, and is JUCE's own choice otherwise.
void setLanguageFallback (const juce::String& family);

// The font in which `text` shows as the system's glyph fallback would show it: on Windows
// `font` itself. On Linux, for a text with Han, Kana or Hangul characters, `font` in the
// current fallback typeface, scaled to the same size of letters, when that is a CJK
// family; otherwise `font`.
juce::Font withFallbackForText (const juce::Font& font, const juce::String& text);
