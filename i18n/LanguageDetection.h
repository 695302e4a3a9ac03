#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Which of the twelve languages may be offered, and which one the updater starts in.
// The decision is a pure function of what the system reports (LanguageSettings); the
// system is asked in one place, readSystemLanguageSettings.

constexpr int detectedLanguageCount = 12;

// Windows language identifier of each language index (English, Français, Deutsch, Español,
// Italiano, Nederlands, Русский, Português, 简体中文, 繁體中文, 한국어, 日本語). The low byte is
// the primary language.
constexpr uint16_t languageIdentifiers[detectedLanguageCount] = {
    0x0409, 0x040C, 0x0407, 0x040A, 0x0410, 0x0413, 0x0419, 0x0816, 0x0804, 0x0404, 0x0412, 0x0411
};

struct LanguageSettings
{
    // Primary language (low byte of the Windows language identifier) of every installed
    // locale; repeats do no harm.
    std::vector<int> installedPrimaryLanguages;

    // The user's default language identifier, in the Windows form.
    int userDefaultLanguageId = 0x0409;
};

struct LanguageChoice
{
    int startupLanguage = 0;
    bool available[detectedLanguageCount] {};
};

// Language i is available when an installed locale has its primary language (so one Chinese
// locale makes both Chinese languages available); English always is. The start-up language
// is that of the user's default when it is available, else English; for Chinese the full
// identifier decides: 0x0804 Simplified, 0x0404/0x0C04/0x1004/0x1404/0x7C04 Traditional,
// any other English.
LanguageChoice chooseLanguages (const LanguageSettings& settings);

// What the detection needs of the running system (the platform seam):
// Windows: EnumSystemLocalesA (LCID_INSTALLED) and GetUserDefaultLangID.
// Linux: the locales the C library has installed (what `locale -a` lists) and the user's
// POSIX locale (LC_ALL, then LC_MESSAGES, then LANG), mapped to Windows identifiers.
LanguageSettings readSystemLanguageSettings();

// The primary language in a locale identifier as EnumSystemLocalesA hands it (hexadecimal
// digits, e.g. "0000040C"): its last two digits, in either case. -1 when the string is
// shorter or they are not hexadecimal.
int primaryLanguageOfLocaleString (const char* localeIdentifier);

// The Windows language identifier of a POSIX locale name ("fr_CA.UTF-8", "zh_TW",
// "de_DE@euro"): the language and region's identifier; a language without a known region
// gets its main identifier; "C", "POSIX" and an empty name count as US English (0x0409);
// a language the table does not know gives 0.
int languageIdForLocaleName (std::string_view localeName);

// The locale names in the bytes of a glibc locale archive (/usr/lib/locale/locale-archive),
// as `locale -a` lists them. Anything that is not a well-formed archive gives no names;
// nothing outside [data, data + size) is read.
std::vector<std::string> localeArchiveNames (const uint8_t* data, size_t size);
