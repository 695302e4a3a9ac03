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

    // One section and one of the two buffers per input, chosen by the input's size: every
    // pass scans the whole text byte by byte, so doing all eight for each input made this the
    // slowest target by far without reaching any more of the reader. The fuzzer varies the
    // size all the time, and the seeds stay plain resource texts.
    const char* const sections[] = { "FONT_WIN", "LANG", "STR", "FONT_MAC" };
    const char* const section = sections[size % 4];
    const char* const buffer = (size / 4) % 2 == 0 ? text.get() : exact.get();

    juce::String destination[TxtLoader::catalogueSize];
    TxtLoader::parseResource (buffer, (int) size, section, destination, TxtLoader::catalogueSize);

    // A single entry line straight into a small output.
    char output[16];
    TxtLoader::unquote (text.get(), output, sizeof output);
    if (std::strlen (output) >= sizeof output)
        __builtin_trap();

    return 0;
}
