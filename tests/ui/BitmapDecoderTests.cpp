#include "UiTestSupport.h"

#include "ui/BitmapFile.h"

#include <gtest/gtest.h>

#include <cstring>

using uiTest::argb;

namespace
{
    struct Bgra { uint8_t b, g, r, a; };

    const Bgra red { 0, 0, 255, 255 };
    const Bgra blue { 255, 0, 0, 255 };
    const Bgra green { 0, 255, 0, 255 };
    const Bgra halfWhite { 128, 128, 128, 128 };   // premultiplied, as the framework keeps ARGB

    constexpr uint8_t padding = 0xEE;

    juce::uint32 opaque (Bgra p) { return 0xff000000u | (juce::uint32) p.r << 16 | (juce::uint32) p.g << 8 | p.b; }
    juce::uint32 native (Bgra p) { return (juce::uint32) p.a << 24 | (juce::uint32) p.r << 16 | (juce::uint32) p.g << 8 | p.b; }

    // The pixel array of a bitmap: `rows` in stored order (the first is the image's bottom
    // row), each pixel's bytes as in the file, rows padded to the stride with `padding`.
    std::vector<uint8_t> pixelArray (int bitsPerPixel, const std::vector<std::vector<Bgra>>& rows)
    {
        std::vector<uint8_t> bytes;

        for (const auto& row : rows)
        {
            const auto start = bytes.size();

            for (const auto& p : row)
            {
                bytes.insert (bytes.end(), { p.b, p.g, p.r });

                if (bitsPerPixel == 32)
                    bytes.push_back (p.a);
            }

            bytes.resize (start + (size_t) bitmapRowStride (bitsPerPixel, (int64_t) row.size()), padding);
        }

        return bytes;
    }

    juce::Image decode (const std::vector<uint8_t>& file)
    {
        // An exact-size copy: a read past the end is a read past the allocation.
        std::unique_ptr<uint8_t[]> copy (new uint8_t[file.size()]);

        if (! file.empty())
            std::memcpy (copy.get(), file.data(), file.size());

        return decodeBitmap (copy.get(), file.size());
    }

    std::vector<uint8_t> validTwoByTwo()
    {
        return writeBitmap (2, 2, 24, pixelArray (24, { { red, red }, { blue, blue } }));
    }
}

TEST (BitmapDecoder, RowStrideIsRoundedUpToFourBytes)
{
    struct Case { int bitsPerPixel; int64_t width; int64_t stride; };

    for (auto c : { Case { 24, 1, 4 }, Case { 24, 3, 12 }, Case { 24, 4, 12 }, Case { 24, 5, 16 },
                    Case { 32, 1, 4 }, Case { 32, 3, 12 }, Case { 32, 0x7fffffff, 0x1fffffffcLL } })
        EXPECT_EQ (bitmapRowStride (c.bitsPerPixel, c.width), c.stride) << c.bitsPerPixel << " bits, " << c.width;
}

TEST (BitmapDecoder, RowsAreStoredBottomUp)
{
    const auto image = decode (validTwoByTwo());

    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getFormat(), juce::Image::RGB);
    EXPECT_EQ (image.getBounds(), juce::Rectangle<int> (0, 0, 2, 2));

    for (int x = 0; x < 2; ++x)
    {
        EXPECT_EQ (argb (image, x, 1), opaque (red)) << "the first stored row is the bottom one";
        EXPECT_EQ (argb (image, x, 0), opaque (blue));
    }
}

TEST (BitmapDecoder, PaddingBetweenRowsIsSkipped)
{
    // 3 pixels of 24 bits: 9 bytes, then 3 bytes of padding to the 12-byte stride.
    const auto image = decode (writeBitmap (3, 3, 24, pixelArray (24, { { red, green, blue },
                                                                      { green, blue, red },
                                                                      { blue, red, green } })));
    ASSERT_TRUE (image.isValid());

    const Bgra expected[3][3] = { { blue, red, green }, { green, blue, red }, { red, green, blue } };

    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ (argb (image, x, y), opaque (expected[y][x])) << x << "," << y;
}

TEST (BitmapDecoder, ThirtyTwoBitPixelsKeepTheirFourthByteAsAlpha)
{
    const auto image = decode (writeBitmap (3, 2, 32, pixelArray (32, { { red, halfWhite, blue },
                                                                      { green, green, halfWhite } })));
    ASSERT_TRUE (image.isValid());
    EXPECT_EQ (image.getFormat(), juce::Image::ARGB);

    EXPECT_EQ (argb (image, 0, 1), native (red));
    EXPECT_EQ (argb (image, 1, 1), native (halfWhite));
    EXPECT_EQ (argb (image, 2, 1), native (blue));
    EXPECT_EQ (argb (image, 2, 0), native (halfWhite));
}

TEST (BitmapDecoder, LastRowNeedsNoPadding)
{
    auto file = writeBitmap (3, 2, 24, pixelArray (24, { { red, red, red }, { blue, blue, blue } }));

    file.resize (file.size() - 3);   // the last row's padding
    EXPECT_TRUE (decode (file).isValid());

    file.pop_back();                 // and one byte of its last pixel
    EXPECT_FALSE (decode (file).isValid());
}

TEST (BitmapDecoder, EncodedImagesDecodeToTheSamePixels)
{
    for (auto format : { juce::Image::RGB, juce::Image::ARGB })
    {
        juce::Image image (format, 5, 3, true);

        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                image.setPixelAt (x, y, juce::Colour ((juce::uint8) (40 * x), (juce::uint8) (80 * y), (juce::uint8) 200,
                                                      (juce::uint8) (255 - 20 * x)));

        const auto decoded = decode (encodeBitmap (image));
        ASSERT_TRUE (decoded.isValid());
        EXPECT_EQ (decoded.getFormat(), format);
        EXPECT_TRUE (uiTest::samePixels (decoded, image));
    }
}

struct RejectedCase
{
    const char* what;
    std::function<void (std::vector<uint8_t>&)> spoil;
};

class RejectedBitmap : public ::testing::TestWithParam<RejectedCase> {};

TEST_P (RejectedBitmap, GivesNoImage)
{
    auto file = validTwoByTwo();
    ASSERT_TRUE (decode (file).isValid());

    GetParam().spoil (file);
    EXPECT_FALSE (decode (file).isValid()) << GetParam().what;
}

namespace
{
    void setInt32 (std::vector<uint8_t>& file, size_t offset, int32_t value)
    {
        for (int i = 0; i < 4; ++i)
            file[offset + (size_t) i] = (uint8_t) ((uint32_t) value >> (8 * i));
    }

    void setBits (std::vector<uint8_t>& file, int bits)
    {
        file[bitmapLayout::bitsPerPixelOffset] = (uint8_t) bits;
        file[bitmapLayout::bitsPerPixelOffset + 1] = (uint8_t) (bits >> 8);
    }
}

INSTANTIATE_TEST_SUITE_P (BitmapDecoder, RejectedBitmap, ::testing::Values (
    RejectedCase { "signature BN", [] (auto& f) { f[1] = 'N'; } },
    RejectedCase { "signature bm", [] (auto& f) { f[0] = 'b'; f[1] = 'm'; } },
    RejectedCase { "8 bits a pixel", [] (auto& f) { setBits (f, 8); } },
    RejectedCase { "16 bits a pixel", [] (auto& f) { setBits (f, 16); } },
    RejectedCase { "280 bits a pixel (24 in the low byte)", [] (auto& f) { setBits (f, 24 + 256); } },
    RejectedCase { "width 0", [] (auto& f) { setInt32 (f, bitmapLayout::widthOffset, 0); } },
    RejectedCase { "height 0", [] (auto& f) { setInt32 (f, bitmapLayout::heightOffset, 0); } },
    RejectedCase { "negative width", [] (auto& f) { setInt32 (f, bitmapLayout::widthOffset, -2); } },
    RejectedCase { "negative height (rows top-down)", [] (auto& f) { setInt32 (f, bitmapLayout::heightOffset, -2); } },
    RejectedCase { "one more row than stored", [] (auto& f) { setInt32 (f, bitmapLayout::heightOffset, 3); } },
    RejectedCase { "wider than stored", [] (auto& f) { setInt32 (f, bitmapLayout::widthOffset, 3); } },
    RejectedCase { "rows whose sizes overflow", [] (auto& f) { setInt32 (f, bitmapLayout::widthOffset, 0x7fffffff);
                                                              setInt32 (f, bitmapLayout::heightOffset, 0x7fffffff); } },
    RejectedCase { "a stride that wraps 32 bits", [] (auto& f) { setInt32 (f, bitmapLayout::widthOffset, 0x40000001);
                                                                setBits (f, 32); } },
    RejectedCase { "no pixel data", [] (auto& f) { f.resize (bitmapLayout::pixelOffset); } },
    RejectedCase { "header cut short", [] (auto& f) { f.resize (30); } },
    RejectedCase { "empty", [] (auto& f) { f.clear(); } }));

TEST (BitmapDecoder, NullDataGivesNoImage)
{
    EXPECT_FALSE (decodeBitmap (nullptr, 0).isValid());
    EXPECT_FALSE (decodeBitmap (nullptr, 100).isValid());
}
