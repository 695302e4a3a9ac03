#include "UiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
    // Components, fonts, the image cache and timers need the framework running. The
    // environment starts it once per test program, with no display.
    class FrameworkEnvironment : public ::testing::Environment
    {
    public:
        void SetUp() override { framework = std::make_unique<juce::ScopedJuceInitialiser_GUI>(); }
        void TearDown() override { framework.reset(); }

    private:
        std::unique_ptr<juce::ScopedJuceInitialiser_GUI> framework;
    };

    [[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment (new FrameworkEnvironment);
}

namespace uiTest
{
    juce::Image render (int width, int height, const std::function<void (juce::Graphics&)>& draw)
    {
        juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
        juce::Graphics g (image);
        draw (g);
        return image;
    }

    juce::Image render (juce::Component& component)
    {
        return render (component.getWidth(), component.getHeight(),
                       [&] (juce::Graphics& g) { component.paintEntireComponent (g, false); });
    }

    juce::uint32 argb (const juce::Image& image, int x, int y)
    {
        const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readOnly);
        const auto* p = pixels.getPixelPointer (x, y);

        if (image.getFormat() == juce::Image::ARGB)
            return reinterpret_cast<const juce::PixelARGB*> (p)->getNativeARGB();

        return reinterpret_cast<const juce::PixelRGB*> (p)->getNativeARGB();
    }

    bool near (juce::uint32 argb, juce::uint32 expected, int tolerance)
    {
        for (int shift = 0; shift < 32; shift += 8)
            if (std::abs ((int) ((argb >> shift) & 0xff) - (int) ((expected >> shift) & 0xff)) > tolerance)
                return false;

        return true;
    }

    bool samePixels (const juce::Image& a, const juce::Image& b)
    {
        if (a.getBounds() != b.getBounds())
            return false;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (argb (a, x, y) != argb (b, x, y))
                    return false;

        return true;
    }

    juce::Rectangle<int> differenceBounds (const juce::Image& a, const juce::Image& b)
    {
        juce::Rectangle<int> bounds;

        for (int y = 0; y < a.getHeight(); ++y)
            for (int x = 0; x < a.getWidth(); ++x)
                if (argb (a, x, y) != argb (b, x, y))
                    bounds = bounds.getUnion ({ x, y, 1, 1 });

        return bounds;
    }

    juce::Rectangle<int> boundsWhere (const juce::Image& image, const std::function<bool (juce::Colour)>& select)
    {
        juce::Rectangle<int> bounds;

        for (int y = 0; y < image.getHeight(); ++y)
            for (int x = 0; x < image.getWidth(); ++x)
                if (select (image.getPixelAt (x, y)))
                    bounds = bounds.getUnion ({ x, y, 1, 1 });

        return bounds;
    }
}
