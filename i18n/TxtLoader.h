#pragma once

#include "i18n/TextResources.h"

#include <juce_core/juce_core.h>

#include <cstddef>

// Every localised text of the updater, for the whole run: per language its typeface (the
// Windows family name of the FONT_WIN section, unchanged; pass it through resolveFontName
// before handing it to JUCE) and its name in its own script, and the 25 strings of the
// current language. All of it comes from the text resources compiled into the program.
//
// Text resource format: UTF-8; the first line holds the byte order mark alone; lines end
// with CR LF (LF or CR alone are read the same way); a line starting with '#' is a comment,
// one starting with ':' a section line (":EOF" ends the text; ":FONT_WIN", ":LANG", ":STR"
// start those sections; any other name starts a section that is skipped), any other
// non-empty line an entry of the current section. An entry's text lies between the first
// double quote and the next unescaped one (or the end of the line); inside it \" \\ \n \r
// \t are escapes, and a backslash before any other byte stands for itself.
//
// Message thread only.
class TxtLoader
{
public:
    static constexpr int languageCount = textResources::languageCount;
    static constexpr int catalogueSize = 25;

    // The single loader; the first call creates it, picks the start-up language from the
    // system (detectDefaultLanguage) and loads that language's strings.
    static TxtLoader* instance();
    static void deleteInstance();

    // A loader over the compiled-in text resources, or over others (twelve language
    // resources indexed by language index). No language is loaded until setLanguage.
    TxtLoader();
    TxtLoader (TextResource commonResource, const TextResource* languageResources);
    virtual ~TxtLoader();

    // Out-of-range indices yield an empty string.
    const juce::String& getString (int index) const;
    const juce::String& getLanguageName (int language) const;
    const juce::String& getFontName (int language) const;
    const juce::String& getCurrentFontName() const;

    // Loads the 25 strings of a language 0..11; nothing when it is already the current one
    // (and nothing for an index outside 0..11). Entries missing from the resource keep
    // the strings they held.
    void setLanguage (int language);

    // Marks which languages have an installed system locale (languageAvailable) and
    // returns the start-up language index.
    int detectDefaultLanguage();

    // Reads the entries of one section ("FONT_WIN", "LANG" or "STR") of a text resource
    // into destination[0..maximum-1], in order; destinations without an entry keep what
    // they held. `text` holds `length` bytes; a zero byte, CR or LF ends a line, and
    // nothing at or past text[length] is read. A line longer than 2047 bytes is cut there.
    // An entry line without a double quote stores the empty string, so the entries after
    // it keep their indices.
    static void parseResource (const char* text, int length, const char* section,
                               juce::String* destination, int maximum);

    void loadLanguageResource (int language, const char* section,
                               juce::String* destination, int maximum);

    // Extracts and unescapes the text of one zero-terminated entry line into `output`
    // (always zero-terminated, cut to fit outputSize).
    static void unquote (const char* line, char* output, size_t outputSize);

    // Language index whose strings are loaded; -1 until the first setLanguage.
    int currentLanguage = -1;

    // Language i may be offered: it has an installed system locale. English always.
    bool languageAvailable[languageCount] {};

private:
    TextResource common;
    const TextResource* languageResources;

    const juce::String emptyText;
    juce::String fontNames[languageCount];
    juce::String languageNames[languageCount];
    juce::String strings[catalogueSize];

    JUCE_DECLARE_NON_COPYABLE (TxtLoader)
};
