// The twelve string catalogues against the rules every translation keeps: 25 entries, the
// placeholders of each entry in order, the argument order of the update-mode instructions,
// the line feeds per entry and language, and the rows that are meant to differ.
#include "i18n/TextResources.h"
#include "i18n/TxtLoader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

namespace
{
    const char* const languageNames[] = { "English", "Francais", "Deutsch", "Espanol", "Italiano", "Nederlands",
                                          "Russian", "Portugues", "SimplifiedChinese", "TraditionalChinese",
                                          "Korean", "Japanese" };
    enum { english, french, german, spanish, italian, dutch, russian, portuguese,
           simplifiedChinese, traditionalChinese, korean, japanese };

    constexpr int entryCount = TxtLoader::catalogueSize;

    std::string utf8Of (const juce::String& s)     { return s.toStdString(); }

    bool endsWith (const std::string& text, const std::string& end)
    {
        return text.size() >= end.size() && text.compare (text.size() - end.size(), end.size(), end) == 0;
    }

    // Every entry of the STR section, however many there are.
    std::vector<std::string> entriesOf (int language)
    {
        constexpr int room = 64;
        const juce::String unset ("\x01unset");
        std::vector<juce::String> destination (room, unset);

        const auto resource = textResources::language (language);
        TxtLoader::parseResource (resource.data, resource.size, "STR", destination.data(), room);

        std::vector<std::string> entries;
        for (const auto& s : destination)
            if (s != unset)
                entries.push_back (utf8Of (s));

        return entries;
    }

    // The printf conversions of a format, as written ("%s", "%02d", "% s"); "%%" is none.
    std::vector<std::string> conversionsOf (const std::string& format)
    {
        std::vector<std::string> conversions;

        for (size_t i = 0; i < format.size(); ++i)
        {
            if (format[i] != '%')
                continue;

            size_t j = i + 1;
            if (j < format.size() && format[j] == '%')
            {
                i = j;
                continue;
            }

            while (j < format.size() && std::string ("-+ #0").find (format[j]) != std::string::npos) ++j;
            while (j < format.size() && (std::isdigit ((unsigned char) format[j]) || format[j] == '.')) ++j;
            while (j < format.size() && std::string ("hlLqjzt").find (format[j]) != std::string::npos) ++j;

            conversions.push_back (format.substr (i, j - i + 1));
            i = j;
        }

        return conversions;
    }

    std::vector<std::string> expectedConversions (int language, int entry)
    {
        using V = std::vector<std::string>;

        if (language == portuguese && entry == 15)   return V { "% s" };
        if ((language == portuguese || language == korean) && entry == 17)   return V {};

        switch (entry)
        {
            case 11: case 12: case 15: case 17: case 20: case 21:   return V { "%s" };
            case 13: case 14:                                       return V { "%d", "%02d" };
            case 22: case 24:                                       return V { "%s", "%s", "%s" };
            default:                                                return V {};
        }
    }

    int lineFeedsIn (const std::string& text)
    {
        int count = 0;
        for (auto c : text)
            count += c == '\n';
        return count;
    }

    // Line feeds of entries 21, 22 and 24, by language.
    const int expectedLineFeeds[12][3] = {
        { 1, 0, 0 }, { 0, 2, 0 }, { 1, 2, 0 }, { 1, 2, 0 }, { 1, 1, 0 }, { 0, 1, 0 },
        { 0, 2, 2 }, { 1, 2, 0 }, { 0, 1, 0 }, { 0, 1, 0 }, { 0, 0, 0 }, { 1, 1, 1 },
    };

    bool isAlphabetic (int language)     { return language <= portuguese; }

    std::string format (const std::string& pattern, const char* a, const char* b, const char* c)
    {
        char buffer[1024];
        std::snprintf (buffer, sizeof buffer, pattern.c_str(), a, b, c);
        return buffer;
    }

    std::string formatVersion (const std::string& pattern, int major, int minor)
    {
        char buffer[256];
        std::snprintf (buffer, sizeof buffer, pattern.c_str(), major, minor);
        return buffer;
    }

    class Catalogue : public testing::TestWithParam<int>
    {
    protected:
        int language = GetParam();
        std::vector<std::string> entries = entriesOf (language);
    };
}

TEST_P (Catalogue, HasExactly25EntriesAndTheFirstThreeUnchanged)
{
    ASSERT_EQ (entries.size(), (size_t) entryCount);
    EXPECT_EQ (entries[0], "");
    EXPECT_EQ (entries[1], "KVX");
    EXPECT_EQ (entries[2], "KVX-70");

    for (int entry = 3; entry < entryCount; ++entry)
        EXPECT_FALSE (entries[(size_t) entry].empty()) << "entry " << entry;
}

TEST_P (Catalogue, KeepsThePlaceholdersOfEachEntryInOrder)
{
    ASSERT_EQ (entries.size(), (size_t) entryCount);

    for (int entry = 0; entry < entryCount; ++entry)
        EXPECT_EQ (conversionsOf (entries[(size_t) entry]), expectedConversions (language, entry))
            << "entry " << entry << ": " << entries[(size_t) entry];
}

TEST_P (Catalogue, TakesTheUpdateModeArgumentsInItsLanguagesOrder)
{
    ASSERT_EQ (entries.size(), (size_t) entryCount);
    const bool buttonsFirst = language >= simplifiedChinese;

    for (int entry : { 22, 24 })
    {
        const auto text = buttonsFirst ? format (entries[(size_t) entry], "SHIFT", "SYNC", "KVX-70")
                                       : format (entries[(size_t) entry], "KVX-70", "SHIFT", "SYNC");

        EXPECT_NE (text.find ("[SHIFT]"), std::string::npos) << text;
        EXPECT_NE (text.find ("[SYNC]"), std::string::npos) << text;
        EXPECT_LT (text.find ("[SHIFT]"), text.find ("[SYNC]")) << text;
        EXPECT_NE (text.find ("KVX-70"), std::string::npos) << text;
        EXPECT_EQ (text.find ("[KVX-70]"), std::string::npos) << text;
        EXPECT_EQ (text.find ('[') < text.find ("KVX-70"), buttonsFirst) << text;
    }
}

TEST_P (Catalogue, ShowsVersionsAsMajorDotTwoDigitMinor)
{
    ASSERT_EQ (entries.size(), (size_t) entryCount);

    for (int entry : { 13, 14 })
    {
        EXPECT_NE (formatVersion (entries[(size_t) entry], 1, 23).find ("1.23"), std::string::npos);
        EXPECT_NE (formatVersion (entries[(size_t) entry], 0, 7).find ("0.07"), std::string::npos);
    }
}

TEST_P (Catalogue, HasTheLineFeedsOfItsLanguageAndNoOtherEscapes)
{
    ASSERT_EQ (entries.size(), (size_t) entryCount);
    const int withLineFeeds[] = { 21, 22, 24 };

    for (int entry = 0; entry < entryCount; ++entry)
    {
        const auto& text = entries[(size_t) entry];
        int expected = 0;

        for (int k = 0; k < 3; ++k)
            if (withLineFeeds[k] == entry)
                expected = expectedLineFeeds[language][k];

        EXPECT_EQ (lineFeedsIn (text), expected) << "entry " << entry << ": " << text;
        EXPECT_EQ (text.find_first_of ("\r\t\"\\"), std::string::npos) << "entry " << entry << ": " << text;

        if (! isAlphabetic (language))
            continue;

        // A line feed stands after a word and its following blank.
        for (size_t at = text.find ('\n'); at != std::string::npos; at = text.find ('\n', at + 1))
        {
            ASSERT_GE (at, 2u) << "entry " << entry;
            EXPECT_EQ (text[at - 1], ' ') << "entry " << entry << ": " << text;
            EXPECT_NE (text[at - 2], ' ') << "entry " << entry << ": " << text;
            ASSERT_LT (at + 1, text.size()) << "entry " << entry;
            EXPECT_NE (text[at + 1], ' ') << "entry " << entry << ": " << text;
        }
    }
}

INSTANTIATE_TEST_SUITE_P (AllLanguages, Catalogue, testing::Range (0, 12),
                          [] (const testing::TestParamInfo<int>& info) { return std::string (languageNames[info.param]); });

TEST (CatalogueRows, TheEnglishCatalogueIsTheDocumentedOne)
{
    const std::vector<std::string> expected = {
        "", "KVX", "KVX-70", "Updater Program", "OK", "Start", "Cancel", "Close",
        "Language Selections", "Please select a language.", "There is an error in the update file.",
        "Your %s is not connected.", "Updates the version of your %s firmware.",
        "Current Version: Ver. %d.%02d", "Update Version: Ver. %d.%02d", "Updating your %s firmware.",
        "Please wait for a few moments until the update process is complete.",
        "The update of your version of the %s firmware is now complete.", "An error has occurred.",
        "It was not possible to update the program.", "Your %s is not recognized.",
        "1. Connect the USB-A terminal on your %s and \nyour computer using a USB cable.",
        "2. Start your %s in update mode by pressing the power button while pressing the [%s] button and the [%s] button on the left deck.",
        "3. Restart this program.",
        "Start your %s in update mode by pressing the power button while pressing the [%s] button and the [%s] button on the left deck.",
    };

    EXPECT_EQ (entriesOf (english), expected);
}

TEST (CatalogueRows, TheRowsThatDifferOnPurposeAreAsGiven)
{
    const auto pt = entriesOf (portuguese);
    const auto ko = entriesOf (korean);
    const auto it = entriesOf (italian);
    const auto zhTw = entriesOf (traditionalChinese);
    const auto ja = entriesOf (japanese);
    const auto zhCn = entriesOf (simplifiedChinese);
    const auto ru = entriesOf (russian);
    ASSERT_EQ (pt.size(), 25u);
    ASSERT_EQ (ko.size(), 25u);
    ASSERT_EQ (it.size(), 25u);
    ASSERT_EQ (zhTw.size(), 25u);
    ASSERT_EQ (ja.size(), 25u);
    ASSERT_EQ (zhCn.size(), 25u);
    ASSERT_EQ (ru.size(), 25u);

    // The space flag formats a string like "%s": the name follows "seu" without a blank.
    EXPECT_EQ (pt[15], "Atualizando o firmware do seu% s.");
    EXPECT_EQ (format (pt[15], "KVX-70", "", ""), "Atualizando o firmware do seuKVX-70.");

    EXPECT_EQ (pt[17], "A vers\xC3\xA3o foi actualizada.");
    EXPECT_EQ (ko[17], "\xEB\xB2\x84\xEC\xA0\x84 \xEC\x97\x85\xEB\x8D\xB0\xEC\x9D\xB4\xED\x8A\xB8 "
                       "\xEB\x90\x98\xEC\x97\x88\xEC\x8A\xB5\xEB\x8B\x88\xEB\x8B\xA4.");

    EXPECT_EQ (it[13], "Versione attualmente installata: %d.%02d");
    EXPECT_EQ (it[14].find ("Ver."), std::string::npos);
    EXPECT_TRUE (endsWith (it[14], ": %d.%02d")) << it[14];

    EXPECT_EQ (zhTw[13], "\xE7\x9B\xAE\xE5\x89\x8D\xE7\x89\x88\xE6\x9C\xAC\xEF\xBC\x9A %d.%02d\xE7\x89\x88");
    EXPECT_TRUE (endsWith (zhTw[14], "\xEF\xBC\x9A %d.%02d\xE7\x89\x88")) << zhTw[14];

    const std::string fullWidthColonAndVer = "\xE3\x80\x80\xEF\xBC\x9A\xE3\x80\x80Ver%d.%02d";
    EXPECT_EQ (ja[13], "\xE7\x8F\xBE\xE5\x9C\xA8\xE3\x81\xAE\xE3\x83\x90\xE3\x83\xBC\xE3\x82\xB8\xE3\x83\xA7\xE3\x83\xB3"
                       + fullWidthColonAndVer);
    EXPECT_TRUE (endsWith (ja[14], fullWidthColonAndVer)) << ja[14];

    EXPECT_EQ (zhCn[22], "2. \xE9\x80\x9A\xE8\xBF\x87\xE6\x8C\x89\xE7\x94\xB5\xE6\xBA\x90\xE6\x8C\x89\xE9\x92\xAE\xEF\xBC\x8C"
                         "\xE5\x90\x8C\xE6\x97\xB6\xE6\x8C\x89\xE5\xB7\xA6\xE5\x8D\xA1\xE5\xBA\xA7\xE4\xB8\x8A\xE7\x9A\x84"
                         "[%s]\xE6\x8C\x89\xE9\x92\xAE\n\xE5\x92\x8C[%s]\xE6\x8C\x89\xE9\x92\xAE\xEF\xBC\x8C"
                         "\xE4\xBB\xA5\xE6\x9B\xB4\xE6\x96\xB0\xE6\xA8\xA1\xE5\xBC\x8F\xE5\x90\xAF\xE5\x8A\xA8%s\xE3\x80\x82");
    EXPECT_EQ (zhCn[24], "\xE9\x80\x9A\xE8\xBF\x87\xE6\x8C\x89\xE7\x94\xB5\xE6\xBA\x90\xE6\x8C\x89\xE9\x92\xAE\xEF\xBC\x8C"
                         "\xE5\x90\x8C\xE6\x97\xB6\xE6\x8C\x89\xE5\xB7\xA6\xE5\x8D\xA1\xE5\xBA\xA7\xE4\xB8\x8A\xE7\x9A\x84"
                         "[%s]\xE6\x8C\x89\xE9\x92\xAE\xE5\x92\x8C[%s]\xE6\x8C\x89\xE9\x92\xAE\xEF\xBC\x8C"
                         "\xE4\xBB\xA5\xE6\x9B\xB4\xE6\x96\xB0\xE6\xA8\xA1\xE5\xBC\x8F\xE5\x90\xAF\xE5\x8A\xA8%s\xE3\x80\x82");

    // Cyrillic O and K, not the Latin "OK" of seven other languages.
    EXPECT_EQ (ru[4], "\xD0\x9E\xD0\x9A");
    int latinOk = 0;
    for (int language = 0; language < 12; ++language)
        latinOk += entriesOf (language)[4] == "OK";
    EXPECT_EQ (latinOk, 7);
}
