// The package check on arbitrary bytes: never a read outside the input, whatever it holds.
#include "update/UpdatePackage.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // An exact-size copy, so that ASan catches any read past the end.
    std::unique_ptr<uint8_t[]> copy (new uint8_t[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy (copy.get(), data, size);

    int version = -1;
    PackageSection sections[packageLayout::sectionCount];
    std::string reason;
    const auto payloadSize = checkUpdatePackage (copy.get(), size, packageLayout::signature,
                                                 &version, sections, &reason);

    UpdatePackage package;
    settleUpdatePackage (package, payloadSize, version);

    if (payloadSize > 0 && payloadSize != size - packageLayout::overhead)
        __builtin_trap();

    return 0;
}
