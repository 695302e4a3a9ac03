// The bitmap decoder on arbitrary bytes: never a read outside the input, and an image only
// when every row it took lies inside the input, copied unchanged to its mirrored place.
#include "ui/BitmapFile.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    // An exact-size copy, so that ASan catches any read past the end.
    std::unique_ptr<uint8_t[]> copy (new uint8_t[size > 0 ? size : 1]);
    if (size > 0)
        std::memcpy (copy.get(), data, size);

    const auto image = decodeBitmap (copy.get(), size);

    if (! image.isValid())
        return 0;

    const bool rgb = image.getFormat() == juce::Image::RGB;
    if (! rgb && image.getFormat() != juce::Image::ARGB)
        __builtin_trap();

    const int width = image.getWidth();
    const int height = image.getHeight();
    const auto bytesPerPixel = (size_t) (rgb ? 3 : 4);
    const auto stride = (size_t) bitmapRowStride (rgb ? 24 : 32, width);
    const auto rowBytes = bytesPerPixel * (size_t) width;

    if (bitmapLayout::pixelOffset + (size_t) (height - 1) * stride + rowBytes > size)
        __builtin_trap();

    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);

    for (int i = 0; i < height; ++i)
        if (std::memcmp (pixels.getLinePointer (height - 1 - i),
                         copy.get() + bitmapLayout::pixelOffset + (size_t) i * stride, rowBytes) != 0)
            __builtin_trap();

    return 0;
}
