#include "i18n/LanguageDetection.h"

#include "ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace
{
    enum { english, french, german, spanish, italian, dutch, russian, portuguese,
           simplifiedChinese, traditionalChinese, korean, japanese };

    // Primary languages of a system with a locale for each of the twelve languages.
    const std::vector<int> allTwelve = { 0x09, 0x0C, 0x07, 0x0A, 0x10, 0x13, 0x19, 0x16, 0x04, 0x12, 0x11 };

    LanguageChoice choose (std::vector<int> installed, int userDefault)
    {
        return chooseLanguages ({ std::move (installed), userDefault });
    }
}

TEST (ChooseLanguages, StartsInTheUsersLanguageWhenItIsInstalled)
{
    struct Case { int userDefault; int expected; const char* what; };
    const Case cases[] = {
        { 0x0409, english,            "English (US)" },
        { 0x0809, english,            "English (UK)" },
        { 0x0C0C, french,             "French (Canada)" },
        { 0x0407, german,             "German" },
        { 0x0C0A, spanish,            "Spanish (modern sort)" },
        { 0x040A, spanish,            "Spanish (traditional sort)" },
        { 0x0810, italian,            "Italian (Switzerland)" },
        { 0x0813, dutch,              "Dutch (Belgium)" },
        { 0x0419, russian,            "Russian" },
        { 0x0416, portuguese,         "Portuguese (Brazil)" },
        { 0x0816, portuguese,         "Portuguese (Portugal)" },
        { 0x0804, simplifiedChinese,  "Chinese (PRC)" },
        { 0x0404, traditionalChinese, "Chinese (Taiwan)" },
        { 0x0C04, traditionalChinese, "Chinese (Hong Kong)" },
        { 0x1004, traditionalChinese, "Chinese (Singapore)" },
        { 0x1404, traditionalChinese, "Chinese (Macao)" },
        { 0x7C04, traditionalChinese, "Chinese (Traditional)" },
        { 0x0004, english,            "Chinese (Simplified, neutral): not one of the listed identifiers" },
        { 0x4804, english,            "another Chinese identifier" },
        { 0x0412, korean,             "Korean" },
        { 0x0411, japanese,           "Japanese" },
        { 0x041F, english,            "Turkish" },
        { 0x0000, english,            "neutral" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (choose (allTwelve, c.userDefault).startupLanguage, c.expected) << c.what;
}

TEST (ChooseLanguages, FallsBackToEnglishWhenTheUsersLanguageIsNotInstalled)
{
    const std::vector<int> noJapaneseNoChinese = { 0x09, 0x0C, 0x07, 0x0A, 0x10, 0x13, 0x19, 0x16, 0x12 };

    // Not the next language in the table.
    EXPECT_EQ (choose (noJapaneseNoChinese, 0x0411).startupLanguage, english);
    EXPECT_EQ (choose (noJapaneseNoChinese, 0x0804).startupLanguage, english);
    EXPECT_EQ (choose (noJapaneseNoChinese, 0x0404).startupLanguage, english);
    EXPECT_EQ (choose ({}, 0x040C).startupLanguage, english);
}

TEST (ChooseLanguages, OffersTheLanguagesWithAnInstalledLocaleAndAlwaysEnglish)
{
    const auto none = choose ({}, 0x0409);
    EXPECT_TRUE (none.available[english]);
    for (int i = 1; i < 12; ++i)
        EXPECT_FALSE (none.available[i]) << i;

    // One Chinese locale offers both Chinese languages.
    const auto someLanguages = choose ({ 0x0C, 0x04, 0x04, 0x1F }, 0x0409);
    const bool expected[12] = { true, true, false, false, false, false, false, false, true, true, false, false };
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ (someLanguages.available[i], expected[i]) << i;

    const auto all = choose (allTwelve, 0x0409);
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE (all.available[i]) << i;
}

TEST (PrimaryLanguageOfLocaleString, IsTheLastTwoHexDigitsInEitherCase)
{
    EXPECT_EQ (primaryLanguageOfLocaleString ("0000040C"), 0x0C);
    EXPECT_EQ (primaryLanguageOfLocaleString ("0000040c"), 0x0C);
    EXPECT_EQ (primaryLanguageOfLocaleString ("00000411"), 0x11);
    EXPECT_EQ (primaryLanguageOfLocaleString ("1f"), 0x1F);
    EXPECT_EQ (primaryLanguageOfLocaleString ("C"), -1);
    EXPECT_EQ (primaryLanguageOfLocaleString (""), -1);
    EXPECT_EQ (primaryLanguageOfLocaleString ("00000g1"), -1);
    EXPECT_EQ (primaryLanguageOfLocaleString (nullptr), -1);

    // A French locale in upper-case digits marks French available.
    const auto choice = choose ({ primaryLanguageOfLocaleString ("0000040C") }, 0x040C);
    EXPECT_TRUE (choice.available[french]);
    EXPECT_EQ (choice.startupLanguage, french);
}

TEST (LanguageIdForLocaleName, MapsPosixLocalesToWindowsIdentifiers)
{
    struct Case { const char* name; int id; };
    const Case cases[] = {
        { "fr_CA",            0x0C0C }, { "fr_CA.UTF-8",     0x0C0C }, { "pt_BR.UTF-8", 0x0416 },
        { "pt_PT",            0x0816 }, { "es_ES.UTF-8",     0x0C0A }, { "es_ES@euro",  0x0C0A },
        { "es_MX",            0x080A }, { "zh_CN.UTF-8",     0x0804 }, { "zh_TW.UTF-8", 0x0404 },
        { "zh_HK",            0x0C04 }, { "zh_SG.GBK",       0x1004 }, { "zh_MO",       0x1404 },
        { "en_US.UTF-8",      0x0409 }, { "en_GB",           0x0809 }, { "de_AT.utf8",  0x0C07 },
        { "de_DE@euro",       0x0407 }, { "it_IT",           0x0410 }, { "nl_BE",       0x0813 },
        { "ru_RU.KOI8-R",     0x0419 }, { "ko_KR.EUC-KR",    0x0412 }, { "ja_JP.eucJP", 0x0411 },
        { "tr_TR.UTF-8",      0x041F }, { "sr_RS@latin",     0x081A },
        // A language without a region, or with one the table does not know: its main identifier.
        { "de",               0x0407 }, { "fr.UTF-8",        0x040C }, { "pt",          0x0816 },
        { "zh",               0x0804 }, { "ja",              0x0411 }, { "fr_XX",       0x040C },
        { "FR_ca",            0x0C0C },
        // The C library's own locales count as English.
        { "C",                0x0409 }, { "POSIX",           0x0409 }, { "C.UTF-8",     0x0409 },
        { "C.utf8",           0x0409 }, { "",                0x0409 },
        // Languages the table does not know, and names that are no locale.
        { "xx_YY",            0 },      { "/usr/lib/locale/x", 0 },   { "e",          0 },
        { "en1_US",           0 },      { "_US",             0 },
    };

    for (const auto& c : cases)
        EXPECT_EQ (languageIdForLocaleName (c.name), c.id) << c.name;
}

namespace
{
    // A glibc locale archive laid out as locale-archive is: header (struct locarhead), name
    // hash table of (hash, name offset, record offset), string table.
    std::vector<uint8_t> makeArchive (const std::vector<std::string>& names, bool withFreeSlot = true)
    {
        const uint32_t headerSize = 56;
        const uint32_t slots = (uint32_t) names.size() + (withFreeSlot ? 1 : 0);
        const uint32_t tableOffset = headerSize;
        const uint32_t stringOffset = tableOffset + slots * 12;

        std::vector<uint8_t> archive (stringOffset);
        auto put32 = [&archive] (size_t at, uint32_t value) { std::memcpy (&archive[at], &value, 4); };

        put32 (0, 0xde020109);
        put32 (8, tableOffset);
        put32 (12, (uint32_t) names.size());
        put32 (16, slots);
        put32 (20, stringOffset);

        uint32_t slot = 0;
        for (const auto& name : names)
        {
            if (withFreeSlot && slot == 1)
                ++slot;    // left free: record offset 0

            put32 (tableOffset + slot * 12 + 4, (uint32_t) archive.size());
            put32 (tableOffset + slot * 12 + 8, 1000 + slot);
            archive.insert (archive.end(), name.begin(), name.end());
            archive.push_back (0);
            ++slot;
        }

        return archive;
    }
}

TEST (LocaleArchiveNames, ListsTheNamesOfTheUsedSlots)
{
    const auto archive = makeArchive ({ "de_DE.utf8", "fr_CA.utf8", "ja_JP.utf8" });
    EXPECT_EQ (localeArchiveNames (archive.data(), archive.size()),
               (std::vector<std::string> { "de_DE.utf8", "fr_CA.utf8", "ja_JP.utf8" }));
}

TEST (LocaleArchiveNames, GivesNothingForWhatIsNoWellFormedArchive)
{
    auto archive = makeArchive ({ "de_DE.utf8", "fr_CA.utf8" });

    EXPECT_TRUE (localeArchiveNames (nullptr, 0).empty());
    EXPECT_TRUE (localeArchiveNames (archive.data(), 20).empty());

    auto wrongMagic = archive;
    wrongMagic[0] ^= 1;
    EXPECT_TRUE (localeArchiveNames (wrongMagic.data(), wrongMagic.size()).empty());

    // A table that runs past the end.
    auto tooManySlots = archive;
    const uint32_t huge = 0x7fffffff;
    std::memcpy (&tooManySlots[16], &huge, 4);
    EXPECT_TRUE (localeArchiveNames (tooManySlots.data(), tooManySlots.size()).empty());

    // A name offset past the end, and a name without its zero, are skipped.
    auto badName = archive;
    const uint32_t pastEnd = (uint32_t) badName.size() + 5;
    std::memcpy (&badName[56 + 4], &pastEnd, 4);
    badName.pop_back();
    EXPECT_TRUE (localeArchiveNames (badName.data(), badName.size()).empty());
}

TEST (LocaleArchiveNames, ReadsAnArchiveMadeByLocaledef)
{
    const auto folder = testing::TempDir() + "kvx-locale-archive-" + std::to_string (::getpid());
    const auto archivePath = folder + "/usr/lib/locale/locale-archive";
    const auto command = "mkdir -p " + folder + "/usr/lib/locale && localedef --prefix=" + folder
                         + " -i fr_CA -f UTF-8 fr_CA.UTF-8 >/dev/null 2>&1"
                         + " && localedef --prefix=" + folder + " -i ja_JP -f UTF-8 ja_JP.UTF-8 >/dev/null 2>&1";

    if (std::system (command.c_str()) != 0)
    {
        std::system (("rm -rf " + folder).c_str());
        GTEST_SKIP() << "localedef cannot build locales here (Debian package locales)";
    }

    std::ifstream file (archivePath, std::ios::binary);
    const std::vector<uint8_t> archive ((std::istreambuf_iterator<char> (file)), std::istreambuf_iterator<char>());
    std::system (("rm -rf " + folder).c_str());

    auto names = localeArchiveNames (archive.data(), archive.size());
    std::sort (names.begin(), names.end());
    EXPECT_EQ (names, (std::vector<std::string> { "fr_CA.utf8", "ja_JP.utf8" }));
}

TEST (ReadSystemLanguageSettings, TakesTheUsersLanguageFromLcAllThenLcMessagesThenLang)
{
    struct Case { const char* lcAll; const char* lcMessages; const char* lang; int id; };
    const Case cases[] = {
        { "fr_CA.UTF-8", "de_DE.UTF-8", "ja_JP.UTF-8", 0x0C0C },
        { nullptr,       "de_DE.UTF-8", "ja_JP.UTF-8", 0x0407 },
        { "",            "",            "ja_JP.UTF-8", 0x0411 },
        { nullptr,       nullptr,       "zh_HK.UTF-8", 0x0C04 },
        { nullptr,       nullptr,       nullptr,       0x0409 },
        { "C",           "de_DE.UTF-8", nullptr,       0x0409 },
    };

    for (const auto& c : cases)
    {
        const ScopedEnvironment all ("LC_ALL", c.lcAll);
        const ScopedEnvironment messages ("LC_MESSAGES", c.lcMessages);
        const ScopedEnvironment lang ("LANG", c.lang);

        EXPECT_EQ (readSystemLanguageSettings().userDefaultLanguageId, c.id)
            << (c.lcAll ? c.lcAll : "-") << " " << (c.lcMessages ? c.lcMessages : "-") << " " << (c.lang ? c.lang : "-");
    }
}

TEST (ReadSystemLanguageSettings, FindsTheLocalesTheCLibraryHasInstalled)
{
    // What `locale -a` lists, reduced to the primary languages of the twelve.
    std::vector<int> expected;
    if (FILE* list = ::popen ("locale -a 2>/dev/null", "r"))
    {
        char line[256];
        while (std::fgets (line, sizeof line, list) != nullptr)
        {
            line[std::strcspn (line, "\n")] = 0;
            const int primary = languageIdForLocaleName (line) & 0xff;
            if (primary != 0 && std::find (expected.begin(), expected.end(), primary) == expected.end())
                expected.push_back (primary);
        }
        ::pclose (list);
    }

    ASSERT_FALSE (expected.empty());

    auto found = readSystemLanguageSettings().installedPrimaryLanguages;
    std::sort (expected.begin(), expected.end());
    std::sort (found.begin(), found.end());
    EXPECT_EQ (found, expected);

    // locales-all, which the project installs, has all twelve.
    const auto choice = chooseLanguages ({ found, 0x0409 });
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE (choice.available[i]) << "no installed locale for language " << i << " (Debian package locales-all)";
}
