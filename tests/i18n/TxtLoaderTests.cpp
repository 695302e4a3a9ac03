#include "i18n/TxtLoader.h"

#include "ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
    juce::String utf8 (const char* text)      { return juce::String (juce::CharPointer_UTF8 (text)); }

    // Twelve language resources held in strings that a test may change.
    struct TestResources
    {
        std::vector<std::string> texts;
        TextResource table[TxtLoader::languageCount];

        TestResources()
        {
            for (int language = 0; language < TxtLoader::languageCount; ++language)
                texts.push_back (":STR\r\n\"\"\r\n\"language " + std::to_string (language) + "\"\r\n\"second\"\r\n");

            refresh();
        }

        void refresh()
        {
            for (int language = 0; language < TxtLoader::languageCount; ++language)
                table[language] = { texts[(size_t) language].c_str(), (int) texts[(size_t) language].size() };
        }
    };
}

TEST (TxtLoader, ReadsTheFontAndLanguageNamesOfTheCommonResource)
{
    TxtLoader loader;

    const char* const fonts[] = { "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial", "Arial",
                                  "Microsoft YaHei", "Microsoft YaHei", "Malgun Gothic", "MS UI Gothic" };
    const char* const names[] = { "English", "Fran\xC3\xA7" "ais", "Deutsch", "Espa\xC3\xB1ol", "Italiano",
                                  "Nederlands", "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9",
                                  "Portugu\xC3\xAAs", "\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87",
                                  "\xE7\xB9\x81\xE9\xAB\x94\xE4\xB8\xAD\xE6\x96\x87", "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4",
                                  "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E" };

    for (int language = 0; language < TxtLoader::languageCount; ++language)
    {
        EXPECT_EQ (loader.getFontName (language), fonts[language]);
        EXPECT_EQ (loader.getLanguageName (language), utf8 (names[language]));
    }
}

TEST (TxtLoader, OutOfRangeIndicesYieldTheEmptyText)
{
    TxtLoader loader;
    loader.setLanguage (0);

    EXPECT_EQ (loader.getString (25), "");
    EXPECT_EQ (loader.getString (-1), "");
    EXPECT_EQ (loader.getLanguageName (12), "");
    EXPECT_EQ (loader.getLanguageName (-1), "");
    EXPECT_EQ (loader.getFontName (-1), "");
    EXPECT_EQ (loader.getFontName (12), "");
    EXPECT_EQ (loader.getString (2), "KVX-70");
}

TEST (TxtLoader, BeforeTheFirstLanguageTheCurrentFontIsEmptyAndNoStringIsLoaded)
{
    TxtLoader loader;

    EXPECT_EQ (loader.currentLanguage, -1);
    EXPECT_EQ (loader.getCurrentFontName(), "");
    EXPECT_EQ (loader.getString (3), "");
}

TEST (TxtLoader, SetLanguageLoadsTheCatalogueAndTheCurrentFont)
{
    TxtLoader loader;

    loader.setLanguage (11);
    EXPECT_EQ (loader.currentLanguage, 11);
    EXPECT_EQ (loader.getCurrentFontName(), "MS UI Gothic");
    EXPECT_EQ (loader.getString (6), utf8 ("\xE3\x82\xAD\xE3\x83\xA3\xE3\x83\xB3\xE3\x82\xBB\xE3\x83\xAB"));

    loader.setLanguage (0);
    EXPECT_EQ (loader.getCurrentFontName(), "Arial");
    EXPECT_EQ (loader.getString (3), "Updater Program");
    EXPECT_EQ (loader.getString (21), "1. Connect the USB-A terminal on your %s and \nyour computer using a USB cable.");
    EXPECT_EQ (loader.getString (0), "");
}

TEST (TxtLoader, SetLanguageWithTheCurrentLanguageDoesNotReadTheResourceAgain)
{
    TestResources resources;
    TxtLoader loader (textResources::common(), resources.table);

    loader.setLanguage (3);
    EXPECT_EQ (loader.getString (1), "language 3");

    resources.texts[3] = ":STR\r\n\"\"\r\n\"changed\"\r\n";
    resources.refresh();
    loader.setLanguage (3);
    EXPECT_EQ (loader.getString (1), "language 3");

    loader.setLanguage (4);
    loader.setLanguage (3);
    EXPECT_EQ (loader.getString (1), "changed");
}

TEST (TxtLoader, EntriesMissingFromANewLanguageKeepThePreviousLanguagesStrings)
{
    TestResources resources;
    resources.texts[5] = ":STR\r\n\"\"\r\n\"only one\"\r\n";
    resources.refresh();
    TxtLoader loader (textResources::common(), resources.table);

    loader.setLanguage (2);
    loader.setLanguage (5);

    EXPECT_EQ (loader.getString (1), "only one");
    EXPECT_EQ (loader.getString (2), "second");
}

TEST (TxtLoader, LanguagesOutsideTheTableAreIgnored)
{
    TxtLoader loader;
    loader.setLanguage (1);

    loader.setLanguage (12);
    loader.setLanguage (-1);

    EXPECT_EQ (loader.currentLanguage, 1);
    EXPECT_EQ (loader.getString (6), "Annuler");
}

TEST (TxtLoader, InstanceStartsInTheUsersLanguageAndDeleteInstanceForgetsIt)
{
    const ScopedEnvironment all ("LC_ALL", "de_DE.UTF-8");
    TxtLoader::deleteInstance();

    auto* loader = TxtLoader::instance();
    EXPECT_EQ (TxtLoader::instance(), loader);
    EXPECT_TRUE (loader->languageAvailable[0]);
    ASSERT_TRUE (loader->languageAvailable[2]) << "no German locale installed (Debian package locales-all)";
    EXPECT_EQ (loader->currentLanguage, 2);
    EXPECT_EQ (loader->getString (6), "Abbrechen");

    TxtLoader::deleteInstance();
    const ScopedEnvironment other ("LC_ALL", "tr_TR.UTF-8");
    EXPECT_EQ (TxtLoader::instance()->currentLanguage, 0);
    TxtLoader::deleteInstance();
}
