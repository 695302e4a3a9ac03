#include "UiTestSupport.h"

#include "ui/ProgressLookAndFeel.h"

#include <gtest/gtest.h>

using uiTest::argb;
using uiTest::render;

namespace
{
    const juce::Colour well (8, 8, 8);

    juce::uint32 grey (int level)
    {
        return juce::Colour ((juce::uint8) level, (juce::uint8) level, (juce::uint8) level).getARGB();
    }

    // A bar as the screen sets it up, drawn by the look directly with the given value and text.
    struct Bar
    {
        explicit Bar (int width, int height = 20)
        {
            bar.setColour (juce::ProgressBar::foregroundColourId, juce::Colour (61, 61, 61));
            bar.setColour (juce::ProgressBar::backgroundColourId, well);
            bar.setLookAndFeel (&look);
            bar.setSize (width, height);
        }

        ~Bar() { bar.setLookAndFeel (nullptr); }

        juce::Image draw (double progress, const juce::String& text = {})
        {
            return render (bar.getWidth(), bar.getHeight(), [&] (juce::Graphics& g)
            {
                look.drawProgressBar (g, bar, bar.getWidth(), bar.getHeight(), progress, text);
            });
        }

        ProgressLookAndFeel look;
        double value = 0.0;
        juce::ProgressBar bar { value };
    };
}

struct FillCase
{
    int width;
    double progress;
    int fillEnd;   // first column after the fill; 2 when nothing is filled
};

class ProgressFill : public ::testing::TestWithParam<FillCase> {};

// The fill starts at x = 2 and is progress × (width − 4) wide, kept within 0 and width − 4;
// it leaves 2 rows of the well above and below.
TEST_P (ProgressFill, FillCoversItsShareOfTheInnerWidth)
{
    const auto& c = GetParam();
    Bar bar (c.width);
    const auto image = bar.draw (c.progress);

    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < c.width; ++x)
        {
            const bool filled = x >= 2 && x < c.fillEnd && y >= 2 && y < 18;
            ASSERT_EQ (argb (image, x, y) == well.getARGB(), ! filled)
                << "progress " << c.progress << " at " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P (ProgressLookAndFeel, ProgressFill, ::testing::Values (
    FillCase { 386, 0.5, 193 },     // the screen's bar: (2, 2, 191, 16)
    FillCase { 204, 0.5, 102 },
    FillCase { 386, 1.0, 384 },
    FillCase { 386, 1.7, 384 },
    FillCase { 386, 1.002, 384 },
    FillCase { 386, 0.0, 2 },
    FillCase { 386, -1.0, 2 },
    FillCase { 386, std::nan (""), 2 }));

TEST (ProgressLookAndFeel, ShadingIsLightAtTheTopDarkestInTheMiddleAndFlatInTheLastTwoRows)
{
    Bar bar (386);
    const auto image = bar.draw (1.0);

    // The gradient runs from y = 2 to y = 16; below its end it keeps the end colour.
    for (int x : { 2, 100, 383 })
    {
        EXPECT_EQ (argb (image, x, 16), grey (108)) << x;
        EXPECT_EQ (argb (image, x, 17), grey (108)) << x;
    }

    auto level = [&] (int y) { return (int) image.getPixelAt (50, y).getRed(); };

    EXPECT_NEAR (level (2), 167, 6);
    EXPECT_NEAR (level (9), 100, 2);

    for (int y = 3; y <= 9; ++y)
        EXPECT_LT (level (y), level (y - 1)) << "row " << y;

    for (int y = 10; y <= 16; ++y)
        EXPECT_GE (level (y), level (y - 1)) << "row " << y;

    for (int y = 2; y < 18; ++y)
        for (int x = 2; x < 384; ++x)
            ASSERT_EQ (argb (image, x, y), argb (image, 2, y)) << "rows are uniform: " << x << "," << y;
}

TEST (ProgressLookAndFeel, TextIsWhiteCentredAtEightTenthsOfTheBarHeight)
{
    for (auto [progress, text] : { std::pair<double, const char*> { 0.0, "0%" }, { 0.5, "50%" }, { 1.0, "100%" } })
    {
        Bar bar (386);
        const auto drawn = bar.draw (progress, text);

        auto expected = bar.draw (progress);
        {
            juce::Graphics g (expected);
            g.setColour (juce::Colours::white);
            g.setFont (juce::Font (16.0f));
            g.drawText (text, 0, 0, 386, 20, juce::Justification::centred, false);
        }

        const auto ink = uiTest::differenceBounds (drawn, bar.draw (progress));
        ASSERT_FALSE (ink.isEmpty()) << text << ": no text drawn; is the default typeface installed?";
        EXPECT_NEAR (ink.getCentreX(), 193, 2) << text;
        EXPECT_NEAR (ink.getCentreY(), 10, 2) << text;
        EXPECT_TRUE (uiTest::samePixels (drawn, expected)) << text;
        EXPECT_FALSE (uiTest::boundsWhere (drawn, [] (juce::Colour c) { return c == juce::Colours::white; }).isEmpty());
    }
}

// Through the framework's own bar: it passes the percentage as text only while its value
// lies within 0..1.
TEST (ProgressLookAndFeel, TheFrameworkBarShowsNoTextOutsideZeroToOne)
{
    struct Case { double value; bool text; int fillEnd; };

    for (auto c : { Case { -1.0, false, 2 }, Case { 1.5, false, 384 }, Case { 0.42, true, 163 } })
    {
        Bar bar (386);
        bar.value = c.value;
        bar.bar.setVisible (true);

        // The bar takes over its value on a 30 ms timer.
        juce::MessageManager::getInstance()->runDispatchLoopUntil (150);
        const auto image = render (bar.bar);

        const bool anyWhite = ! uiTest::boundsWhere (image, [] (juce::Colour colour)
                                                     { return colour == juce::Colours::white; }).isEmpty();
        EXPECT_EQ (anyWhite, c.text) << c.value;
        EXPECT_EQ (argb (image, c.fillEnd - 1, 3) != well.getARGB(), c.fillEnd > 2) << c.value;
        EXPECT_EQ (argb (image, c.fillEnd, 3), well.getARGB()) << c.value;
    }
}
