#include "ui/BitmapFile.h"

#include <algorithm>
#include <cstring>

namespace
{
    constexpr uint8_t signature[2] = { 'B', 'M' };
    constexpr uint32_t fileHeaderSize = 14;
    constexpr uint32_t infoHeaderSize = 40;
    constexpr size_t fileSizeOffset = 2;
    constexpr size_t dataOffsetOffset = 10;
    constexpr size_t infoHeaderSizeOffset = 14;
    constexpr size_t planesOffset = 26;
    constexpr size_t imageSizeOffset = 34;

    static_assert (fileHeaderSize + infoHeaderSize == bitmapLayout::pixelOffset);

    int32_t readInt32 (const uint8_t* p)
    {
        return (int32_t) ((uint32_t) p[0] | (uint32_t) p[1] << 8 | (uint32_t) p[2] << 16 | (uint32_t) p[3] << 24);
    }

    uint16_t readUint16 (const uint8_t* p)
    {
        return (uint16_t) (p[0] | p[1] << 8);
    }

    void put32 (std::vector<uint8_t>& out, size_t offset, uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            out[offset + (size_t) i] = (uint8_t) (value >> (8 * i));
    }

    void put16 (std::vector<uint8_t>& out, size_t offset, uint16_t value)
    {
        out[offset] = (uint8_t) value;
        out[offset + 1] = (uint8_t) (value >> 8);
    }
}

int64_t bitmapRowStride (int bitsPerPixel, int64_t width)
{
    return (bitsPerPixel / 8 * width + 3) / 4 * 4;
}

juce::Image decodeBitmap (const uint8_t* data, size_t size)
{
    using namespace bitmapLayout;

    if (data == nullptr || size < pixelOffset)
        return {};

    if (data[0] != signature[0] || data[1] != signature[1])
        return {};

    const int bitsPerPixel = readUint16 (data + bitsPerPixelOffset);
    const int32_t width = readInt32 (data + widthOffset);
    const int32_t height = readInt32 (data + heightOffset);

    if (bitsPerPixel != 24 && bitsPerPixel != 32)
        return {};

    // Zero means no image. Negative sizes (top-down rows among others) are not decoded.
    if (width <= 0 || height <= 0)
        return {};

    const auto bytesPerPixel = (uint64_t) (bitsPerPixel / 8);
    const auto rowBytes = bytesPerPixel * (uint64_t) width;
    const auto stride = (uint64_t) bitmapRowStride (bitsPerPixel, width);
    const auto available = (uint64_t) (size - pixelOffset);

    // Rows 0 .. height − 2 take a whole stride each, the last one only its pixels.
    // Divided rather than multiplied, so that no size can overflow the check.
    if (rowBytes > available || (uint64_t) (height - 1) > (available - rowBytes) / stride)
        return {};

    juce::Image image (bitsPerPixel == 24 ? juce::Image::RGB : juce::Image::ARGB, width, height, true);

    {
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

        // The image's own row length must be the bitmap's: 3 or 4 bytes a pixel.
        if ((uint64_t) pixels.pixelStride != bytesPerPixel)
            return {};

        for (int32_t i = 0; i < height; ++i)
            std::memcpy (pixels.getLinePointer (height - 1 - i),
                         data + pixelOffset + (uint64_t) i * stride, (size_t) rowBytes);
    }

    return image;
}

std::vector<uint8_t> writeBitmap (int32_t width, int32_t height, uint16_t bitsPerPixel,
                                  const std::vector<uint8_t>& pixelArray)
{
    std::vector<uint8_t> out (bitmapLayout::pixelOffset + pixelArray.size(), 0);
    out[0] = signature[0];
    out[1] = signature[1];
    put32 (out, fileSizeOffset, (uint32_t) (bitmapLayout::pixelOffset + pixelArray.size()));
    put32 (out, dataOffsetOffset, (uint32_t) bitmapLayout::pixelOffset);
    put32 (out, infoHeaderSizeOffset, infoHeaderSize);
    put32 (out, bitmapLayout::widthOffset, (uint32_t) width);
    put32 (out, bitmapLayout::heightOffset, (uint32_t) height);
    put16 (out, planesOffset, 1);
    put16 (out, bitmapLayout::bitsPerPixelOffset, bitsPerPixel);
    put32 (out, imageSizeOffset, (uint32_t) pixelArray.size());

    std::copy (pixelArray.begin(), pixelArray.end(), out.begin() + (std::ptrdiff_t) bitmapLayout::pixelOffset);
    return out;
}

std::vector<uint8_t> encodeBitmap (const juce::Image& image)
{
    const bool hasAlpha = image.getFormat() == juce::Image::ARGB;

    if (! image.isValid() || ! (hasAlpha || image.getFormat() == juce::Image::RGB))
        return {};

    const int width = image.getWidth();
    const int height = image.getHeight();
    const uint16_t bitsPerPixel = hasAlpha ? 32 : 24;
    const auto stride = (size_t) bitmapRowStride (bitsPerPixel, width);
    const auto rowBytes = (size_t) (bitsPerPixel / 8 * width);

    std::vector<uint8_t> pixels (stride * (size_t) height, 0);
    const juce::Image::BitmapData source (image, juce::Image::BitmapData::readOnly);

    for (int row = 0; row < height; ++row)
        std::memcpy (&pixels[(size_t) row * stride], source.getLinePointer (height - 1 - row), rowBytes);

    return writeBitmap (width, height, bitsPerPixel, pixels);
}
