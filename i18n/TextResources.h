#pragma once

// A text resource compiled into the program: `size` bytes of UTF-8 text, and one zero byte
// stored directly after them, which the reader uses as an end mark when it looks for line ends.
struct TextResource
{
    const char* data = nullptr;
    int size = 0;
};

namespace textResources
{
    constexpr int languageCount = 12;

    // The common text resource: the sections FONT_WIN, FONT_MAC and LANG.
    TextResource common();

    // The language text resource (one STR section) of a language index 0..11, in the order
    // English, Français, Deutsch, Español, Italiano, Nederlands, Русский, Português, 简体中文,
    // 繁體中文, 한국어, 日本語; an empty resource for any other index.
    TextResource language (int languageIndex);

    // All twelve, indexed by language index.
    const TextResource* languages();
}
