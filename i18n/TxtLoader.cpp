#include "i18n/TxtLoader.h"

#include "i18n/LanguageDetection.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
    TxtLoader* singleInstance = nullptr;

    // Both parse buffers: a line of at most 2047 bytes and its zero.
    constexpr int lineBufferSize = 2048;

    enum class Section { none, fontWin, lang, str };

    Section sectionOfKeyword (const char* keyword)
    {
        if (keyword == nullptr)              return Section::none;
        if (std::strcmp (keyword, "FONT_WIN") == 0)  return Section::fontWin;
        if (std::strcmp (keyword, "LANG") == 0)      return Section::lang;
        if (std::strcmp (keyword, "STR") == 0)       return Section::str;
        return Section::none;
    }

    // The keywords are looked for anywhere in a section line, in this order.
    Section sectionOfLine (const char* line)
    {
        if (std::strstr (line, "FONT_WIN") != nullptr)  return Section::fontWin;
        if (std::strstr (line, "LANG") != nullptr)      return Section::lang;
        if (std::strstr (line, "STR") != nullptr)       return Section::str;
        return Section::none;
    }

    bool endsLine (char c)   { return c == '\r' || c == '\n' || c == 0; }

    bool isContinuation (unsigned char c)   { return (c & 0xC0) == 0x80; }

    // Strict UTF-8 decoding of a zero-terminated entry; every byte that does not begin a
    // well-formed sequence becomes U+FFFD. (JUCE's own UTF-8 constructor writes past its
    // buffer on some malformed input.)
    // Entries come from the line buffer, so they decode into a buffer on the stack: the
    // string's own storage is the only allocation per entry.
    juce::String decodeUtf8 (const char* text)
    {
        const auto bytes = std::strlen (text);
        char32_t onStack[lineBufferSize];
        std::u32string onHeap;

        if (bytes >= (size_t) lineBufferSize)
            onHeap.resize (bytes + 1);

        char32_t* const decoded = bytes < (size_t) lineBufferSize ? onStack : onHeap.data();
        size_t count = 0;
        const auto* p = reinterpret_cast<const unsigned char*> (text);

        while (*p != 0)
        {
            const unsigned char lead = *p;
            char32_t c = 0xFFFD;
            int length = 1;

            if (lead < 0x80)
            {
                c = lead;
            }
            else if (lead >= 0xC2 && lead <= 0xDF && isContinuation (p[1]))
            {
                c = (char32_t) (((lead & 0x1F) << 6) | (p[1] & 0x3F));
                length = 2;
            }
            else if (lead >= 0xE0 && lead <= 0xEF && isContinuation (p[1]) && isContinuation (p[2])
                     && ! (lead == 0xE0 && p[1] < 0xA0) && ! (lead == 0xED && p[1] > 0x9F))
            {
                c = (char32_t) (((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
                length = 3;
            }
            else if (lead >= 0xF0 && lead <= 0xF4 && isContinuation (p[1]) && isContinuation (p[2])
                     && isContinuation (p[3]) && ! (lead == 0xF0 && p[1] < 0x90) && ! (lead == 0xF4 && p[1] > 0x8F))
            {
                c = (char32_t) (((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F));
                length = 4;
            }

            decoded[count++] = c;   // never more code points than bytes
            p += length;
        }

        decoded[count] = 0;
        return juce::String (juce::CharPointer_UTF32 (reinterpret_cast<const juce::juce_wchar*> (decoded)));
    }
}

TxtLoader* TxtLoader::instance()
{
    if (singleInstance == nullptr)
    {
        // Stored before the detection runs, so that anything it reaches sees this loader.
        singleInstance = new TxtLoader();
        singleInstance->setLanguage (singleInstance->detectDefaultLanguage());
    }

    return singleInstance;
}

void TxtLoader::deleteInstance()
{
    delete singleInstance;
    singleInstance = nullptr;
}

TxtLoader::TxtLoader()
    : TxtLoader (textResources::common(), textResources::languages())
{
}

TxtLoader::TxtLoader (TextResource commonResource, const TextResource* resources)
    : common (commonResource), languageResources (resources)
{
    parseResource (common.data, common.size, "FONT_WIN", fontNames, languageCount);
    parseResource (common.data, common.size, "LANG", languageNames, languageCount);
}

TxtLoader::~TxtLoader() = default;

const juce::String& TxtLoader::getString (int index) const
{
    return (index >= 0 && index < catalogueSize) ? strings[index] : emptyText;
}

const juce::String& TxtLoader::getLanguageName (int language) const
{
    return (language >= 0 && language < languageCount) ? languageNames[language] : emptyText;
}

const juce::String& TxtLoader::getFontName (int language) const
{
    return (language >= 0 && language < languageCount) ? fontNames[language] : emptyText;
}

const juce::String& TxtLoader::getCurrentFontName() const
{
    return getFontName (currentLanguage);
}

void TxtLoader::setLanguage (int language)
{
    if (language == currentLanguage || language < 0 || language >= languageCount)
        return;

    currentLanguage = language;
    loadLanguageResource (language, "STR", strings, catalogueSize);
}

int TxtLoader::detectDefaultLanguage()
{
    const auto choice = chooseLanguages (readSystemLanguageSettings());
    std::copy (std::begin (choice.available), std::end (choice.available), languageAvailable);
    return choice.startupLanguage;
}

void TxtLoader::loadLanguageResource (int language, const char* section,
                                      juce::String* destination, int maximum)
{
    if (languageResources == nullptr || language < 0 || language >= languageCount)
        return;

    const auto& resource = languageResources[language];
    parseResource (resource.data, resource.size, section, destination, maximum);
}

void TxtLoader::parseResource (const char* text, int length, const char* section,
                               juce::String* destination, int maximum)
{
    if (text == nullptr || length <= 0 || destination == nullptr)
        return;

    const auto wanted = sectionOfKeyword (section);
    auto current = Section::none;
    int stored = 0;

    char line[lineBufferSize];
    char entry[lineBufferSize];

    for (int position = 0; position < length;)
    {
        // The line runs to the first CR, LF or zero byte, or to the end of the counted
        // bytes. CR LF is one line end; so a text that mixes CR LF, LF and CR is still
        // read line by line.
        int end = position;
        while (end < length && ! endsLine (text[end]))
            ++end;

        const int copied = std::min (end - position, lineBufferSize - 1);
        std::memcpy (line, text + position, (size_t) copied);
        line[copied] = 0;

        position = end + 1;
        if (end + 1 < length && text[end] == '\r' && text[end + 1] == '\n')
            ++position;

        if (line[0] == 0 || line[0] == '#')
            continue;

        if (line[0] == ':')
        {
            if (std::strstr (line, "EOF") != nullptr)
                return;

            current = sectionOfLine (line);
            continue;
        }

        if (current == Section::none || current != wanted || stored >= maximum)
            continue;

        unquote (line, entry, sizeof entry);
        destination[stored++] = decodeUtf8 (entry);
    }
}

void TxtLoader::unquote (const char* line, char* output, size_t outputSize)
{
    if (output == nullptr || outputSize == 0)
        return;

    size_t written = 0;
    const char* p = line != nullptr ? std::strchr (line, '"') : nullptr;

    if (p != nullptr)
    {
        for (++p; *p != 0 && *p != '"' && written + 1 < outputSize;)
        {
            if (*p == '\\')
            {
                char escaped = 0;

                switch (p[1])
                {
                    case '"':  escaped = '"';  break;
                    case '\\': escaped = '\\'; break;
                    case 'n':  escaped = '\n'; break;
                    case 'r':  escaped = '\r'; break;
                    case 't':  escaped = '\t'; break;
                    default:   break;
                }

                if (escaped != 0)
                {
                    output[written++] = escaped;
                    p += 2;
                    continue;
                }
            }

            output[written++] = *p++;
        }
    }

    output[written] = 0;
}
