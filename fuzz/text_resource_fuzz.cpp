// The text resource reader on arbitrary bytes: every section, every line shape, line ends of
// all kinds, lines longer than the buffers, bytes that are no UTF-8. Never a read or a write
// outside the text and the reader's own buffers.
#include "i18n/TxtLoader.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;

    // As the program holds its resources: the counted bytes, then the zero end byte.
    std::unique_ptr<char[]> text (new char[size + 1]);
    if (size > 0)
        std::memcpy (text.get(), data, size);
    text[size] = 0;

    // And without the zero: the reader never looks at or past text[size] (ASan would see it).
    std::unique_ptr<char[]> exact (new char[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy (exact.get(), data, size);

    for (const char* section : { "FONT_WIN", "LANG", "STR", "FONT_MAC" })
    {
        juce::String destination[TxtLoader::catalogueSize];
        TxtLoader::parseResource (text.get(), (int) size, section, destination, TxtLoader::catalogueSize);
        TxtLoader::parseResource (exact.get(), (int) size, section, destination, TxtLoader::catalogueSize);
    }

    // A single entry line straight into a small output.
    char output[16];
    TxtLoader::unquote (text.get(), output, sizeof output);
    if (std::strlen (output) >= sizeof output)
        __builtin_trap();

    return 0;
}
