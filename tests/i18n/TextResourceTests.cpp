#include "i18n/TextResources.h"
#include "i18n/TxtLoader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
    const char* const bom = "\xEF\xBB\xBF";

    // Parses `text` (copied to a buffer of exactly its size plus the zero end byte) into
    // `count` destination strings that start out as "-".
    std::vector<juce::String> parse (const std::string& text, const char* section, int maximum, int count = 4)
    {
        std::unique_ptr<char[]> copy (new char[text.size() + 1]);
        std::memcpy (copy.get(), text.data(), text.size());
        copy[text.size()] = 0;

        std::vector<juce::String> destination ((size_t) count, "-");
        TxtLoader::parseResource (copy.get(), (int) text.size(), section, destination.data(), maximum);
        return destination;
    }

    std::string unquoted (const char* line)
    {
        char output[2048];
        TxtLoader::unquote (line, output, sizeof output);
        return output;
    }

    juce::String utf8 (const char* text)      { return juce::String (juce::CharPointer_UTF8 (text)); }
}

TEST (Unquote, TakesTheTextBetweenTheQuotesAndResolvesTheEscapes)
{
    struct Case { const char* line; const char* text; };
    const Case cases[] = {
        { "\"Arial\"",                     "Arial" },
        { "   \"Arial\"  trailing words",  "Arial" },
        { "key = \"value\" \"second\"",     "value" },
        { "\"say \\\"hi\\\"\"",             "say \"hi\"" },
        { "\"a\\\\b\"",                     "a\\b" },
        { "\"a\\nb\"",                      "a\nb" },
        { "\"a\\rb\\tc\"",                  "a\rb\tc" },
        { "\"\\q\"",                        "\\q" },
        { "\"\\\\n\"",                      "\\n" },
        { "\"no closing quote",            "no closing quote" },
        { "\"ends in a backslash\\",       "ends in a backslash\\" },
        { "\"\"",                           "" },
        { "no quote at all",               "" },
        { "",                              "" },
    };

    for (const auto& c : cases)
        EXPECT_EQ (unquoted (c.line), c.text) << c.line;
}

TEST (Unquote, NeverWritesPastTheOutputBuffer)
{
    char output[8];
    std::memset (output, 'x', sizeof output);
    TxtLoader::unquote ("\"0123456789abcdef\"", output, 5);

    EXPECT_STREQ (output, "0123");
    EXPECT_EQ (output[5], 'x');

    TxtLoader::unquote ("\"abc\"", output, 1);
    EXPECT_STREQ (output, "");
}

TEST (ParseResource, ReadsOnlyTheWantedSection)
{
    const std::string text = std::string (bom) + "\r\n:FONT_WIN\r\n\r\n\"Arial\"\r\n\"Arial2\"\r\n\r\n"
                             ":FONT_MAC\r\n\r\n\"Helvetica\"\r\n\"Geneva\"\r\n\r\n:LANG\r\n\r\n\"English\"\r\n\r\n:EOF\r\n";

    EXPECT_EQ (parse (text, "FONT_WIN", 4), (std::vector<juce::String> { "Arial", "Arial2", "-", "-" }));
    EXPECT_EQ (parse (text, "LANG", 4), (std::vector<juce::String> { "English", "-", "-", "-" }));
    EXPECT_EQ (parse (text, "FONT_MAC", 4), (std::vector<juce::String> { "-", "-", "-", "-" }));
    EXPECT_EQ (parse (text, "STR", 4), (std::vector<juce::String> { "-", "-", "-", "-" }));
}

TEST (ParseResource, SkipsCommentsBlankLinesAndTheByteOrderMarkLine)
{
    const std::string text = std::string (bom) + "\"bom line\"\r\n:STR\r\n# \"a comment\"\r\n\r\n\"one\"\r\n#\"x\"\r\n\"two\"\r\n";
    EXPECT_EQ (parse (text, "STR", 4), (std::vector<juce::String> { "one", "two", "-", "-" }));
}

TEST (ParseResource, SectionKeywordOnTheByteOrderMarkLineIsNotRecognised)
{
    const std::string text = std::string (bom) + ":STR\r\n\"one\"\r\n\"two\"\r\n:EOF\r\n";
    EXPECT_EQ (parse (text, "STR", 4), (std::vector<juce::String> { "-", "-", "-", "-" }));
}

TEST (ParseResource, KeywordsAreFoundAnywhereInASectionLineInTheirOrder)
{
    EXPECT_EQ (parse (":the STR section\n\"a\"\n", "STR", 2, 2), (std::vector<juce::String> { "a", "-" }));
    EXPECT_EQ (parse (":LANG and STR\n\"a\"\n", "LANG", 2, 2), (std::vector<juce::String> { "a", "-" }));
    EXPECT_EQ (parse (":LANG and STR\n\"a\"\n", "STR", 2, 2), (std::vector<juce::String> { "-", "-" }));
    EXPECT_EQ (parse (":STR then EOF\n\"a\"\n", "STR", 2, 2), (std::vector<juce::String> { "-", "-" }));
}

TEST (ParseResource, NothingAfterEofIsRead)
{
    const std::string text = ":STR\r\n\"one\"\r\n:EOF\r\n\"two\"\r\n:STR\r\n\"three\"\r\n";
    EXPECT_EQ (parse (text, "STR", 4), (std::vector<juce::String> { "one", "-", "-", "-" }));
}

TEST (ParseResource, TwoSectionsWithTheWantedKeywordFillOneSequence)
{
    const std::string text = ":STR\r\n\"one\"\r\n\"two\"\r\n:LANG\r\n\"x\"\r\n:STR\r\n\"three\"\r\n";
    EXPECT_EQ (parse (text, "STR", 4), (std::vector<juce::String> { "one", "two", "three", "-" }));
}

TEST (ParseResource, StopsStoringAtTheMaximum)
{
    const std::string text = ":STR\r\n\"one\"\r\n\"two\"\r\n\"three\"\r\n";
    EXPECT_EQ (parse (text, "STR", 2), (std::vector<juce::String> { "one", "two", "-", "-" }));
    EXPECT_EQ (parse (text, "STR", 0), (std::vector<juce::String> { "-", "-", "-", "-" }));
}

TEST (ParseResource, ReadsLfCrAndMixedLineEndsAlike)
{
    const std::vector<juce::String> expected { "one", "two", "three", "-" };

    for (const char* text : { ":STR\r\n\"one\"\r\n\"two\"\r\n\"three\"\r\n",
                              ":STR\n\"one\"\n\"two\"\n\"three\"\n",
                              ":STR\r\"one\"\r\"two\"\r\"three\"\r",
                              ":STR\n\"one\"\r\n\"two\"\r\"three\"",
                              ":STR\r\n\"one\"\n\r\"two\"\n\n\"three\"\r\r" })
        EXPECT_EQ (parse (text, "STR", 4), expected) << juce::String (text).replace ("\r", "<CR>").replace ("\n", "<LF>");
}

TEST (ParseResource, ReadsALastLineWithoutLineEnd)
{
    EXPECT_EQ (parse (":STR\r\n\"one\"\r\n\"two\"", "STR", 4), (std::vector<juce::String> { "one", "two", "-", "-" }));
}

TEST (ParseResource, AnEntryLineWithoutAQuoteStoresAnEmptyTextAndKeepsTheOthersInPlace)
{
    EXPECT_EQ (parse (":STR\r\n\"one\"\r\ntwo without quotes\r\n\"three\"\r\n", "STR", 4),
               (std::vector<juce::String> { "one", "", "three", "-" }));
}

TEST (ParseResource, ALineOver2047BytesIsCutAndTheNextLineIsReadNormally)
{
    const std::string longText (3000, 'x');
    const auto result = parse (":STR\r\n\"" + longText + "\"\r\n\"next\"\r\n", "STR", 4);

    EXPECT_EQ (result[0], juce::String (std::string (2046, 'x')));   // 2047 bytes less the opening quote
    EXPECT_EQ (result[1], "next");

    const auto longSectionLine = parse (":" + longText + "STR\r\n\"a\"\r\n", "STR", 4);
    EXPECT_EQ (longSectionLine[0], "-");
}

TEST (ParseResource, AZeroByteInsideTheTextEndsALineAndNothingPastTheLengthIsRead)
{
    const std::string withZero (":STR\r\n\"one\0\"two\"\r\n", 18);
    EXPECT_EQ (parse (withZero, "STR", 4), (std::vector<juce::String> { "one", "two", "-", "-" }));

    // The counted length ends the text even where no line end or zero follows.
    const std::string text = ":STR\r\n\"one\"\r\n\"two\"\r\n";
    std::vector<juce::String> destination (4, "-");
    TxtLoader::parseResource (text.c_str(), 12, "STR", destination.data(), 4);
    EXPECT_EQ (destination, (std::vector<juce::String> { "one", "-", "-", "-" }));
}

TEST (ParseResource, EntriesAreDecodedAsUtf8)
{
    const auto result = parse (":LANG\r\n\"Fran\xC3\xA7" "ais\"\r\n\"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\"\r\n", "LANG", 2, 2);
    EXPECT_EQ (result[0], utf8 ("Fran\xC3\xA7" "ais"));
    EXPECT_EQ (result[1].length(), 3);
}

TEST (ParseResource, BytesThatAreNoUtf8BecomeReplacementCharacters)
{
    const juce::String replacement = juce::String::charToString (0xFFFD);
    struct Case { const char* bytes; juce::String text; };
    const Case cases[] = {
        { "a\xFF" "b",                  "a" + replacement + "b" },
        { "\xC3",                       replacement },                        // cut-off sequence
        { "\xC0\x80",                   replacement + replacement },          // overlong zero
        { "\xED\xA0\x80",               replacement + replacement + replacement },   // surrogate
        { "\xF4\x90\x80\x80z",          replacement + replacement + replacement + replacement + "z" },   // above U+10FFFF
        { "\x80\xBF",                   replacement + replacement },          // stray continuation bytes
        { "\xF0\x9F\x8E\x9B",           juce::String::charToString (0x1F39B) },
        { "\xE6\x97\xA5\xFE\xE6\x9C\xAC", juce::String::charToString (0x65E5) + replacement + juce::String::charToString (0x672C) },
    };

    for (const auto& c : cases)
        EXPECT_EQ (parse (":STR\n\"" + std::string (c.bytes) + "\"\n", "STR", 1, 1)[0], c.text) << c.bytes;
}

TEST (ParseResource, EmptyOrMissingTextStoresNothing)
{
    juce::String destination[2] { "-", "-" };
    TxtLoader::parseResource (nullptr, 10, "STR", destination, 2);
    TxtLoader::parseResource ("", 0, "STR", destination, 2);
    EXPECT_EQ (destination[0], "-");
}

TEST (CompiledResources, EveryTextIsFollowedByTheZeroEndByte)
{
    const auto common = textResources::common();
    ASSERT_NE (common.data, nullptr);
    EXPECT_EQ (common.data[common.size], 0);

    for (int language = 0; language < textResources::languageCount; ++language)
    {
        const auto resource = textResources::language (language);
        ASSERT_NE (resource.data, nullptr) << language;
        ASSERT_GT (resource.size, 0) << language;
        EXPECT_EQ (resource.data[resource.size], 0) << "language " << language;
    }

    EXPECT_EQ (textResources::language (-1).data, nullptr);
    EXPECT_EQ (textResources::language (12).data, nullptr);
}

namespace
{
    std::vector<std::string> splitCrLfLines (const TextResource& resource, std::string& problem)
    {
        const std::string text (resource.data, (size_t) resource.size);
        std::vector<std::string> lines;

        for (size_t start = 0; start < text.size();)
        {
            const auto end = text.find ("\r\n", start);

            if (end == std::string::npos)
            {
                problem = "the last line has no CR LF";
                break;
            }

            lines.push_back (text.substr (start, end - start));

            if (lines.back().find_first_of ("\r\n") != std::string::npos)
                problem = "a bare CR or LF in line " + std::to_string (lines.size());

            start = end + 2;
        }

        return lines;
    }

    bool isQuotedEntry (const std::string& line)
    {
        return line.size() >= 2 && line.front() == '"' && line.back() == '"';
    }
}

TEST (CompiledResources, TheCommonResourceHasTheShippedLayout)
{
    const auto common = textResources::common();
    EXPECT_EQ (common.size, 517);
    EXPECT_TRUE (juce::CharPointer_UTF8::isValidString (common.data, common.size));

    std::string problem;
    const auto lines = splitCrLfLines (common, problem);
    EXPECT_EQ (problem, "");
    ASSERT_EQ (lines.size(), 47u);

    EXPECT_EQ (lines[0], bom);
    const size_t sectionStarts[] = { 1, 16, 31 };
    const char* const sections[] = { ":FONT_WIN", ":FONT_MAC", ":LANG" };

    for (int s = 0; s < 3; ++s)
    {
        const auto first = sectionStarts[s];
        EXPECT_EQ (lines[first], sections[s]);
        EXPECT_EQ (lines[first + 1], "");

        for (size_t i = 0; i < 12; ++i)
            EXPECT_TRUE (isQuotedEntry (lines[first + 2 + i])) << lines[first + 2 + i];

        EXPECT_EQ (lines[first + 14], "");
    }

    EXPECT_EQ (lines[46], ":EOF");
}

TEST (CompiledResources, EveryLanguageResourceHasTheShippedLayout)
{
    for (int language = 0; language < textResources::languageCount; ++language)
    {
        SCOPED_TRACE ("language " + std::to_string (language));
        const auto resource = textResources::language (language);
        EXPECT_TRUE (juce::CharPointer_UTF8::isValidString (resource.data, resource.size));

        std::string problem;
        const auto lines = splitCrLfLines (resource, problem);
        EXPECT_EQ (problem, "");
        ASSERT_EQ (lines.size(), 31u);

        EXPECT_EQ (lines[0], bom);
        EXPECT_EQ (lines[1], ":STR");
        EXPECT_EQ (lines[2], "");
        EXPECT_EQ (lines[3], "\"\"");
        EXPECT_EQ (lines[4], "");

        for (size_t i = 5; i < 29; ++i)
            EXPECT_TRUE (isQuotedEntry (lines[i])) << lines[i];

        EXPECT_EQ (lines[29], "");
        EXPECT_EQ (lines[30], ":EOF");
    }
}
