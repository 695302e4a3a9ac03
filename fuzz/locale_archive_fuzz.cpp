// The reader of the C library's locale archive on arbitrary bytes: nothing outside the input
// is read, and every name it gives is a non-empty zero-free string.
#include "i18n/LanguageDetection.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    std::unique_ptr<uint8_t[]> copy (new uint8_t[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy (copy.get(), data, size);

    for (const auto& name : localeArchiveNames (copy.get(), size))
    {
        if (name.empty() || name.find ('\0') != std::string::npos)
            __builtin_trap();

        languageIdForLocaleName (name);
    }

    return 0;
}
