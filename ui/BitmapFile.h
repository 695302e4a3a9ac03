#pragma once

#include <juce_graphics/juce_graphics.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Uncompressed Windows bitmaps as the image loader's fallback decoder reads them: a
// 14-byte file header and a 40-byte information header, then the pixel rows, bottom row
// first, each padded to a multiple of 4 bytes. All fields are little-endian. Only the
// fields below are read; the pixel-data offset, header size, planes and compression are
// not looked at, and there is never a colour table.
namespace bitmapLayout
{
    constexpr size_t widthOffset = 18;          // int32, pixels
    constexpr size_t heightOffset = 22;         // int32, pixels; positive: bottom-up rows
    constexpr size_t bitsPerPixelOffset = 28;   // uint16, 24 or 32
    constexpr size_t pixelOffset = 54;          // the first stored row
}

// Bytes from one stored row to the next: bits per pixel / 8 × width, rounded up to 4.
int64_t bitmapRowStride (int bitsPerPixel, int64_t width);

// Decodes a 24-bit (to Image::RGB) or 32-bit (to Image::ARGB, fourth byte as alpha)
// bitmap. Each pixel's bytes go in unchanged: blue, green, red (, alpha), the framework's
// own layout of those formats. Gives a null image for a wrong signature, another bit
// count, a zero or negative width or height, or rows that would run past the end of the
// data (the last row needs no padding). Never reads outside [data, data + size).
juce::Image decodeBitmap (const uint8_t* data, size_t size);

// A bitmap file around the given pixel array, which is stored as it is: rows bottom-up,
// padding included. Writes any sizes and bit count, valid or not, for test fixtures.
std::vector<uint8_t> writeBitmap (int32_t width, int32_t height, uint16_t bitsPerPixel,
                                  const std::vector<uint8_t>& pixelArray);

// An RGB image as a 24-bit bitmap, or an ARGB image as a 32-bit one.
std::vector<uint8_t> encodeBitmap (const juce::Image&);
