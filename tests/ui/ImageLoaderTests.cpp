#include "UiTestSupport.h"

#include "ui/BitmapFile.h"
#include "ui/ImageLoader.h"

#include "tools/WarningSymbol.h"

#include "BinaryData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using uiTest::argb;

namespace
{
    class ImageLoaderTest : public ::testing::Test
    {
    protected:
        void TearDown() override
        {
            ImageLoader::deleteInstance();

            // Test data lives on the heap, and the cache keys pictures by address: drop
            // what only the cache still holds, so that no later test finds a stale picture.
            juce::ImageCache::releaseUnusedImages();
        }
    };

    int alphaAt (const juce::Image& image, int x, int y)
    {
        return image.getPixelAt (x, y).getAlpha();
    }
}

TEST_F (ImageLoaderTest, InstanceIsCreatedOnceAndDeletedOnce)
{
    EXPECT_EQ (ImageLoader::getInstanceWithoutCreating(), nullptr);

    auto* first = ImageLoader::instance();
    ASSERT_NE (first, nullptr);
    EXPECT_EQ (ImageLoader::instance(), first);

    ImageLoader::create();
    EXPECT_EQ (ImageLoader::getInstanceWithoutCreating(), first) << "create keeps the existing store";

    ImageLoader::deleteInstance();
    EXPECT_EQ (ImageLoader::getInstanceWithoutCreating(), nullptr);
    ImageLoader::deleteInstance();
    EXPECT_EQ (ImageLoader::getInstanceWithoutCreating(), nullptr);
}

TEST_F (ImageLoaderTest, ImageZeroIsTheWarningSymbolAndNoOtherIndexHasOne)
{
    ImageLoader::create();
    const auto* loader = ImageLoader::instance();

    const auto symbol = loader->getImage (ImageLoader::warningSymbol);
    ASSERT_TRUE (symbol.isValid());
    EXPECT_EQ (symbol.getWidth(), 56);
    EXPECT_EQ (symbol.getHeight(), 55);
    EXPECT_TRUE (symbol.hasAlphaChannel());

    for (int index : { 1, 2, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max() })
        EXPECT_TRUE (loader->getImage (index).isNull()) << index;
}

TEST_F (ImageLoaderTest, TheSymbolIsDecodedOncePerStore)
{
    const auto first = ImageLoader::instance()->getImage (0);
    EXPECT_EQ (ImageLoader::instance()->getImage (0).getPixelData(), first.getPixelData());
}

TEST_F (ImageLoaderTest, EmbeddedSymbolIsAnEightBitRgbaPngOfFiftySixByFiftyFive)
{
    const auto* entry = ImageLoader::embeddedImage (0);
    ASSERT_NE (entry, nullptr);
    ASSERT_GT (entry->size, 33);
    EXPECT_EQ (ImageLoader::embeddedImage (1), nullptr);

    const auto* png = static_cast<const uint8_t*> (entry->data);
    auto be32 = [png] (int at) { return (uint32_t) png[at] << 24 | (uint32_t) png[at + 1] << 16
                                      | (uint32_t) png[at + 2] << 8 | png[at + 3]; };

    EXPECT_EQ (std::memcmp (png, "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ (std::memcmp (png + 12, "IHDR", 4), 0);
    EXPECT_EQ (be32 (16), 56u) << "width";
    EXPECT_EQ (be32 (20), 55u) << "height";
    EXPECT_EQ (png[24], 8) << "bits per channel";
    EXPECT_EQ (png[25], 6) << "colour type RGBA";
    EXPECT_EQ (png[28], 0) << "not interlaced";
}

TEST_F (ImageLoaderTest, TheSymbolIsAYellowTriangleWithABlackBorderAndMarkOnTransparency)
{
    const auto symbol = ImageLoader::instance()->getImage (0);
    ASSERT_TRUE (symbol.isValid());

    for (auto [x, y] : { std::pair<int, int> { 0, 0 }, { 55, 0 }, { 0, 54 }, { 55, 54 }, { 8, 20 }, { 47, 20 } })
        EXPECT_EQ (alphaAt (symbol, x, y), 0) << "background " << x << "," << y;

    const juce::Colour yellow (255, 204, 0);

    for (auto [x, y] : { std::pair<int, int> { 18, 42 }, { 22, 30 }, { 34, 30 }, { 28, 16 } })
        EXPECT_EQ (symbol.getPixelAt (x, y), yellow) << "field " << x << "," << y;

    for (auto [x, y] : { std::pair<int, int> { 28, 8 }, { 28, 47 }, { 8, 47 }, { 47, 47 }, { 15, 30 }, { 41, 30 } })
        EXPECT_EQ (symbol.getPixelAt (x, y), juce::Colours::black) << "border " << x << "," << y;

    for (auto [x, y] : { std::pair<int, int> { 28, 22 }, { 28, 32 }, { 28, 40 } })
        EXPECT_EQ (symbol.getPixelAt (x, y), juce::Colours::black) << "mark " << x << "," << y;

    // Soft shading just outside the border: dark and partly transparent.
    for (auto [x, y] : { std::pair<int, int> { 28, 52 }, { 12, 52 } })
    {
        EXPECT_GT (alphaAt (symbol, x, y), 0) << x << "," << y;
        EXPECT_LT (alphaAt (symbol, x, y), 255) << x << "," << y;
        EXPECT_EQ (symbol.getPixelAt (x, y).getRed(), 0) << x << "," << y;
    }
}

// resources/images/warning.png is what kvx-draw-warning writes: the committed picture
// must match the drawing program pixel for pixel.
TEST_F (ImageLoaderTest, TheCommittedSymbolIsWhatTheDrawingProgramDraws)
{
    const auto png = warningSymbol::drawPng();
    ASSERT_FALSE (png.isEmpty());

    const auto drawn = juce::ImageFileFormat::loadFrom (png.getData(), png.getSize());
    const auto committed = juce::ImageFileFormat::loadFrom (BinaryData::warning_png,
                                                            (size_t) BinaryData::warning_pngSize);
    ASSERT_TRUE (drawn.isValid());
    ASSERT_TRUE (committed.isValid());
    EXPECT_TRUE (uiTest::samePixels (drawn, committed))
        << "differs in " << uiTest::differenceBounds (drawn, committed).toString()
        << "; run kvx-draw-warning resources/images/warning.png and commit the picture";
}

struct EntryCase
{
    const char* what;
    std::function<std::vector<uint8_t>()> bytes;
    bool decodes;
    int width, height;
};

class EmbeddedEntry : public ImageLoaderTest, public ::testing::WithParamInterface<EntryCase> {};

// The framework's readers come first; a Windows bitmap goes through our own decoder.
TEST_P (EmbeddedEntry, DecodesThroughTheFrameworkOrTheBitmapDecoder)
{
    const auto& c = GetParam();
    const auto bytes = c.bytes();
    const auto image = ImageLoader::decodeEmbeddedImage ({ bytes.data(), (int) bytes.size() });

    ASSERT_EQ (image.isValid(), c.decodes) << c.what;

    if (c.decodes)
    {
        EXPECT_EQ (image.getWidth(), c.width) << c.what;
        EXPECT_EQ (image.getHeight(), c.height) << c.what;
    }
}

namespace
{
    std::vector<uint8_t> pngOf (const juce::Image& image)
    {
        juce::MemoryOutputStream out;
        juce::PNGImageFormat().writeImageToStream (image, out);
        return { static_cast<const uint8_t*> (out.getData()),
                 static_cast<const uint8_t*> (out.getData()) + out.getDataSize() };
    }

    std::vector<uint8_t> bitmap24 (int width, int height)
    {
        const auto stride = (size_t) bitmapRowStride (24, width);
        return writeBitmap (width, height, 24, std::vector<uint8_t> (stride * (size_t) height, 0x80));
    }
}

INSTANTIATE_TEST_SUITE_P (ImageLoader, EmbeddedEntry, ::testing::Values (
    EntryCase { "PNG", [] { return pngOf (juce::Image (juce::Image::ARGB, 7, 4, true)); }, true, 7, 4 },
    EntryCase { "24-bit bitmap", [] { return bitmap24 (5, 3); }, true, 5, 3 },
    EntryCase { "32-bit bitmap", [] { return encodeBitmap (juce::Image (juce::Image::ARGB, 4, 6, true)); }, true, 4, 6 },
    EntryCase { "8-bit bitmap", [] { auto b = bitmap24 (4, 4); b[bitmapLayout::bitsPerPixelOffset] = 8; return b; },
                false, 0, 0 },
    EntryCase { "text", [] { const char* t = "not a picture at all"; return std::vector<uint8_t> (t, t + 20); },
                false, 0, 0 },
    EntryCase { "four bytes", [] { return std::vector<uint8_t> { 'B', 'M', 0, 0 }; }, false, 0, 0 }));

TEST_F (ImageLoaderTest, AnEntryWithoutBytesGivesNoImage)
{
    EXPECT_TRUE (ImageLoader::decodeEmbeddedImage ({ nullptr, 100 }).isNull());
    const uint8_t byte = 0;
    EXPECT_TRUE (ImageLoader::decodeEmbeddedImage ({ &byte, 0 }).isNull());
    EXPECT_TRUE (ImageLoader::decodeEmbeddedImage ({ &byte, -1 }).isNull());
}
