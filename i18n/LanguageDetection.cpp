#include "i18n/LanguageDetection.h"

#include <cstring>

namespace
{
    constexpr int primaryLanguage (int languageId)      { return languageId & 0xff; }

    constexpr int chinese = 0x04;
    constexpr int simplifiedChineseIndex = 8;
    constexpr int traditionalChineseIndex = 9;

    bool isTraditionalChinese (int languageId)
    {
        switch (languageId)
        {
            case 0x0404: case 0x0C04: case 0x1004: case 0x1404: case 0x7C04: return true;
            default: return false;
        }
    }

    int hexDigitValue (char c)
    {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    // Main identifier per language: for the twelve languages the one the updater lists
    // them under, for others the language with its default region.
    struct LanguageEntry { const char* code; uint16_t mainId; };

    constexpr LanguageEntry languages[] = {
        { "en", 0x0409 }, { "fr", 0x040C }, { "de", 0x0407 }, { "es", 0x0C0A }, { "it", 0x0410 },
        { "nl", 0x0413 }, { "ru", 0x0419 }, { "pt", 0x0816 }, { "zh", 0x0804 }, { "ko", 0x0412 },
        { "ja", 0x0411 },
        { "af", 0x0436 }, { "ar", 0x0401 }, { "az", 0x042C }, { "be", 0x0423 }, { "bg", 0x0402 },
        { "bn", 0x0445 }, { "bs", 0x141A }, { "ca", 0x0403 }, { "cs", 0x0405 }, { "cy", 0x0452 },
        { "da", 0x0406 }, { "el", 0x0408 }, { "et", 0x0425 }, { "eu", 0x042D }, { "fa", 0x0429 },
        { "fi", 0x040B }, { "fo", 0x0438 }, { "ga", 0x083C }, { "gl", 0x0456 }, { "he", 0x040D },
        { "hi", 0x0439 }, { "hr", 0x041A }, { "hu", 0x040E }, { "hy", 0x042B }, { "id", 0x0421 },
        { "is", 0x040F }, { "ka", 0x0437 }, { "kk", 0x043F }, { "lt", 0x0427 }, { "lv", 0x0426 },
        { "mk", 0x042F }, { "ms", 0x043E }, { "nb", 0x0414 }, { "nn", 0x0814 }, { "no", 0x0414 },
        { "pl", 0x0415 }, { "ro", 0x0418 }, { "sk", 0x041B }, { "sl", 0x0424 }, { "sq", 0x041C },
        { "sr", 0x081A }, { "sv", 0x041D }, { "sw", 0x0441 }, { "th", 0x041E }, { "tr", 0x041F },
        { "uk", 0x0422 }, { "ur", 0x0420 }, { "uz", 0x0443 }, { "vi", 0x042A },
    };

    // Regions of the twelve languages with an identifier of their own.
    struct RegionEntry { const char* code; const char* region; uint16_t id; };

    constexpr RegionEntry regions[] = {
        { "en", "US", 0x0409 }, { "en", "GB", 0x0809 }, { "en", "AU", 0x0C09 }, { "en", "CA", 0x1009 },
        { "en", "NZ", 0x1409 }, { "en", "IE", 0x1809 }, { "en", "ZA", 0x1C09 }, { "en", "JM", 0x2009 },
        { "en", "BZ", 0x2809 }, { "en", "TT", 0x2C09 }, { "en", "ZW", 0x3009 }, { "en", "PH", 0x3409 },
        { "en", "IN", 0x4009 }, { "en", "MY", 0x4409 }, { "en", "SG", 0x4809 },
        { "fr", "FR", 0x040C }, { "fr", "BE", 0x080C }, { "fr", "CA", 0x0C0C }, { "fr", "CH", 0x100C },
        { "fr", "LU", 0x140C }, { "fr", "MC", 0x180C },
        { "de", "DE", 0x0407 }, { "de", "CH", 0x0807 }, { "de", "AT", 0x0C07 }, { "de", "LU", 0x1007 },
        { "de", "LI", 0x1407 },
        { "es", "ES", 0x0C0A }, { "es", "MX", 0x080A }, { "es", "GT", 0x100A }, { "es", "CR", 0x140A },
        { "es", "PA", 0x180A }, { "es", "DO", 0x1C0A }, { "es", "VE", 0x200A }, { "es", "CO", 0x240A },
        { "es", "PE", 0x280A }, { "es", "AR", 0x2C0A }, { "es", "EC", 0x300A }, { "es", "CL", 0x340A },
        { "es", "UY", 0x380A }, { "es", "PY", 0x3C0A }, { "es", "BO", 0x400A }, { "es", "SV", 0x440A },
        { "es", "HN", 0x480A }, { "es", "NI", 0x4C0A }, { "es", "PR", 0x500A }, { "es", "US", 0x540A },
        { "it", "IT", 0x0410 }, { "it", "CH", 0x0810 },
        { "nl", "NL", 0x0413 }, { "nl", "BE", 0x0813 },
        { "ru", "RU", 0x0419 }, { "ru", "MD", 0x0819 },
        { "pt", "BR", 0x0416 }, { "pt", "PT", 0x0816 },
        { "zh", "TW", 0x0404 }, { "zh", "CN", 0x0804 }, { "zh", "HK", 0x0C04 }, { "zh", "SG", 0x1004 },
        { "zh", "MO", 0x1404 },
        { "ko", "KR", 0x0412 },
        { "ja", "JP", 0x0411 },
    };

    bool isAsciiLetter (char c)   { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    char asciiLower (char c)      { return (c >= 'A' && c <= 'Z') ? (char) (c - 'A' + 'a') : c; }
    char asciiUpper (char c)      { return (c >= 'a' && c <= 'z') ? (char) (c - 'a' + 'A') : c; }

    // Header of a glibc locale archive (struct locarhead), in the byte order of the machine
    // that wrote it, followed somewhere by the name hash table of 12-byte entries
    // (hash value, name offset, locale record offset; a record offset of 0 marks a free slot).
    namespace localeArchive
    {
        constexpr uint32_t magic = 0xde020109;
        constexpr size_t headerSize = 14 * 4;
        constexpr size_t namehashOffsetField = 2 * 4;
        constexpr size_t namehashSizeField = 4 * 4;
        constexpr size_t entrySize = 3 * 4;
        constexpr size_t nameOffsetField = 4;
        constexpr size_t recordOffsetField = 8;
    }

    uint32_t readNative32 (const uint8_t* p)
    {
        uint32_t value;
        std::memcpy (&value, p, sizeof value);
        return value;
    }
}

LanguageChoice chooseLanguages (const LanguageSettings& settings)
{
    LanguageChoice choice;
    choice.available[0] = true;

    for (auto primary : settings.installedPrimaryLanguages)
        for (int i = 1; i < detectedLanguageCount; ++i)
            if (primaryLanguage (languageIdentifiers[i]) == primary)
                choice.available[i] = true;

    const int id = settings.userDefaultLanguageId & 0xffff;

    if (primaryLanguage (id) == chinese)
    {
        if (id == 0x0804)
            choice.startupLanguage = choice.available[simplifiedChineseIndex] ? simplifiedChineseIndex : 0;
        else if (isTraditionalChinese (id))
            choice.startupLanguage = choice.available[traditionalChineseIndex] ? traditionalChineseIndex : 0;
        else
            choice.startupLanguage = 0;

        return choice;
    }

    // The first language with that primary language decides, available or not.
    for (int i = 0; i < detectedLanguageCount; ++i)
    {
        if (primaryLanguage (languageIdentifiers[i]) == primaryLanguage (id))
        {
            choice.startupLanguage = choice.available[i] ? i : 0;
            return choice;
        }
    }

    choice.startupLanguage = 0;
    return choice;
}

int primaryLanguageOfLocaleString (const char* localeIdentifier)
{
    if (localeIdentifier == nullptr)
        return -1;

    const auto length = std::strlen (localeIdentifier);

    if (length < 2)
        return -1;

    const int high = hexDigitValue (localeIdentifier[length - 2]);
    const int low = hexDigitValue (localeIdentifier[length - 1]);

    if (high < 0 || low < 0)
        return -1;

    return high * 16 + low;
}

int languageIdForLocaleName (std::string_view localeName)
{
    constexpr int usEnglish = 0x0409;

    // The C library's own locales: "C", "POSIX", "C.UTF-8", "C.utf8".
    const auto base = localeName.substr (0, localeName.find_first_of (".@"));

    if (localeName.empty() || base == "C" || base == "POSIX")
        return usEnglish;

    // language[_REGION][.codeset][@modifier]
    const auto languageEnd = localeName.find_first_of ("_.@");
    const auto language = localeName.substr (0, languageEnd);

    if (language.size() < 2 || language.size() > 3)
        return 0;

    std::string code;
    for (auto c : language)
    {
        if (! isAsciiLetter (c))
            return 0;

        code += asciiLower (c);
    }

    std::string region;
    if (languageEnd != std::string_view::npos && localeName[languageEnd] == '_')
    {
        const auto rest = localeName.substr (languageEnd + 1);
        for (auto c : rest.substr (0, rest.find_first_of (".@")))
            region += asciiUpper (c);
    }

    for (const auto& entry : regions)
        if (code == entry.code && region == entry.region)
            return entry.id;

    for (const auto& entry : languages)
        if (code == entry.code)
            return entry.mainId;

    return 0;
}

std::vector<std::string> localeArchiveNames (const uint8_t* data, size_t size)
{
    using namespace localeArchive;
    std::vector<std::string> names;

    if (data == nullptr || size < headerSize || readNative32 (data) != magic)
        return names;

    const uint64_t tableOffset = readNative32 (data + namehashOffsetField);
    const uint64_t tableEntries = readNative32 (data + namehashSizeField);

    if (tableOffset > size || tableEntries > (size - tableOffset) / entrySize)
        return names;

    for (uint64_t i = 0; i < tableEntries; ++i)
    {
        const uint8_t* entry = data + tableOffset + i * entrySize;

        if (readNative32 (entry + recordOffsetField) == 0)
            continue;

        const uint64_t nameOffset = readNative32 (entry + nameOffsetField);

        if (nameOffset >= size)
            continue;

        const auto* name = reinterpret_cast<const char*> (data + nameOffset);
        const auto* end = static_cast<const char*> (std::memchr (name, 0, size - nameOffset));

        if (end != nullptr && end != name)
            names.emplace_back (name, end);
    }

    return names;
}
