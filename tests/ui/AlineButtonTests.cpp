#include "UiTestSupport.h"

#include "ui/AlineButton.h"
#include "ui/BtnLookAndFeel.h"
#include "ui/StyleColours.h"

#include <gtest/gtest.h>

using uiTest::argb;
using uiTest::render;

namespace
{
    constexpr juce::uint32 white = 0xffffffff;
    constexpr juce::uint32 black = 0xff000000;
    const juce::uint32 body = backgroundColour.getARGB();

    constexpr int allEdges = juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight
                           | juce::Button::ConnectedOnTop | juce::Button::ConnectedOnBottom;

    // A button as the screen sets it up: window-coloured body, bold label.
    std::unique_ptr<AlineButton> screenButton (const juce::String& label, int width = 100, int height = 20)
    {
        auto button = std::make_unique<AlineButton> ("OK");
        button->setText (label);
        button->setFontStyle (juce::Font::bold);
        button->setColour (juce::TextButton::buttonColourId, backgroundColour);
        button->setColour (juce::TextButton::buttonOnColourId, backgroundColour);
        button->setSize (width, height);
        return button;
    }

    juce::Image renderInState (AlineButton& button, juce::Button::ButtonState state)
    {
        button.setState (state);
        return render (button);
    }

    juce::Image renderHeld (AlineButton& button, bool down)
    {
        return renderInState (button, down ? juce::Button::buttonDown : juce::Button::buttonNormal);
    }

    // Counts the repaints a component asks for, in place of its cached image.
    struct RepaintProbe : juce::CachedComponentImage
    {
        explicit RepaintProbe (int& counter) : repaints (counter) {}

        void paint (juce::Graphics&) override {}
        bool invalidateAll() override { ++repaints; return false; }
        bool invalidate (const juce::Rectangle<int>&) override { ++repaints; return false; }
        void releaseResources() override {}

        int& repaints;
    };
}

TEST (AlineButton, StartsWithItsNameAsLabelBlackColoursAllEdgesConnectedAndItsOwnLook)
{
    AlineButton button ("Cancel");

    EXPECT_EQ (button.getName(), "Cancel");
    EXPECT_EQ (button.getButtonText(), "Cancel");
    EXPECT_EQ (button.getFontName(), "<Sans-Serif>");
    EXPECT_EQ (button.getFontStyle(), juce::Font::plain);
    EXPECT_EQ (button.findColour (juce::TextButton::buttonColourId).getARGB(), black);
    EXPECT_EQ (button.findColour (juce::TextButton::buttonOnColourId).getARGB(), black);
    EXPECT_EQ (button.getConnectedEdgeFlags(), allEdges);
    EXPECT_NE (dynamic_cast<BtnLookAndFeel*> (&button.getLookAndFeel()), nullptr);
}

struct BevelPixel
{
    const char* where;
    int x, y;
    juce::uint32 released, held;
};

class ScreenButtonBevel : public ::testing::TestWithParam<BevelPixel> {};

// A 100 × 20 button connected on all edges: the box (0.1, 0.1, 99.8, 19.8), its edges
// stroked 2.5 wide, so the outermost pixel row or column of each edge is fully covered.
TEST_P (ScreenButtonBevel, EdgeColoursSwapWhenHeld)
{
    const auto& pixel = GetParam();
    auto button = screenButton ({});

    const auto released = argb (renderHeld (*button, false), pixel.x, pixel.y);
    const auto held = argb (renderHeld (*button, true), pixel.x, pixel.y);

    EXPECT_TRUE (uiTest::near (released, pixel.released)) << pixel.where << std::hex << ": " << released;
    EXPECT_TRUE (uiTest::near (held, pixel.held)) << pixel.where << std::hex << ": " << held;
}

INSTANTIATE_TEST_SUITE_P (AlineButton, ScreenButtonBevel, ::testing::Values (
    BevelPixel { "left edge", 0, 10, white, black },
    BevelPixel { "top edge", 50, 0, white, black },
    BevelPixel { "right edge", 99, 10, black, white },
    BevelPixel { "bottom edge", 50, 19, black, white },
    BevelPixel { "top-right, where the lower-right stroke covers the upper-left one", 99, 1, black, white },
    BevelPixel { "bottom-left, where the lower-right stroke covers the upper-left one", 1, 19, black, white },
    BevelPixel { "inside left of the stroke", 2, 10, body, body },
    BevelPixel { "inside above the bottom stroke", 50, 17, body, body },
    BevelPixel { "middle", 50, 10, body, body }));

TEST (AlineButton, BevelIsAboutOneAndAThirdPixelsWide)
{
    auto button = screenButton ({});
    const auto image = renderHeld (*button, false);

    // Column 1 and row 18 are covered by the outer 0.35 pixel of the stroke: a blend.
    const std::pair<int, int> blended[] = { { 1, 10 }, { 50, 1 }, { 98, 10 }, { 50, 18 } };

    for (auto [x, y] : blended)
    {
        const auto colour = image.getPixelAt (x, y);
        EXPECT_NE (colour.getARGB(), body) << x << "," << y;
        EXPECT_NE (colour.getARGB(), white) << x << "," << y;
        EXPECT_NE (colour.getARGB(), black) << x << "," << y;
    }
}

TEST (AlineButton, TheClassColoursGiveABlackBodyThatHidesTheLowerRightBevel)
{
    AlineButton button ("OK");
    button.setButtonText ({});
    button.setSize (100, 20);
    const auto image = render (button);

    for (int x = 2; x < 100; ++x)
        EXPECT_TRUE (uiTest::near (argb (image, x, 19), black)) << x;

    for (int y = 2; y < 20; ++y)
        EXPECT_TRUE (uiTest::near (argb (image, 99, y), black)) << y;

    EXPECT_EQ (argb (image, 50, 10), black);
    EXPECT_EQ (argb (image, 0, 10), white);
}

TEST (AlineButton, ToggleStateSelectsTheOnColourForTheBody)
{
    auto button = screenButton ({});
    button->setColour (juce::TextButton::buttonOnColourId, juce::Colours::red);

    EXPECT_EQ (argb (render (*button), 50, 10), body);
    button->setToggleState (true, juce::dontSendNotification);
    EXPECT_EQ (argb (render (*button), 50, 10), juce::Colours::red.getARGB());
}

TEST (AlineButton, HoverFocusToggleAndDisabledDoNotChangeTheLook)
{
    auto button = screenButton ("Start");
    const auto normal = render (*button);

    button->setState (juce::Button::buttonOver);
    EXPECT_TRUE (uiTest::samePixels (render (*button), normal)) << "mouse over";
    button->setState (juce::Button::buttonNormal);

    button->setToggleState (true, juce::dontSendNotification);
    EXPECT_TRUE (uiTest::samePixels (render (*button), normal)) << "toggled on, same colours";
    button->setToggleState (false, juce::dontSendNotification);

    button->setEnabled (false);
    EXPECT_TRUE (uiTest::samePixels (render (*button), normal)) << "disabled";
    button->setEnabled (true);

    button->setWantsKeyboardFocus (true);
    button->setHasFocusOutline (true);
    EXPECT_TRUE (uiTest::samePixels (render (*button), normal)) << "focus outline asked for";
}

TEST (AlineButton, LabelMovesOnePixelRightAndDownWhileHeld)
{
    auto button = screenButton ("Cancel");
    auto bare = screenButton ({});

    const auto released = renderHeld (*button, false);
    const auto held = renderHeld (*button, true);
    const auto releasedInk = uiTest::differenceBounds (released, renderHeld (*bare, false));
    const auto heldInk = uiTest::differenceBounds (held, renderHeld (*bare, true));

    ASSERT_FALSE (releasedInk.isEmpty()) << "the label drew nothing: is the default typeface installed?";
    EXPECT_EQ (heldInk, releasedInk.translated (1, 1));
    EXPECT_TRUE (juce::Rectangle<int> (4, 4, 92, 12).contains (releasedInk)) << releasedInk.toString();
    EXPECT_TRUE (juce::Rectangle<int> (5, 5, 92, 12).contains (heldInk)) << heldInk.toString();

    for (int y = releasedInk.getY(); y < releasedInk.getBottom(); ++y)
        for (int x = releasedInk.getX(); x < releasedInk.getRight(); ++x)
            ASSERT_EQ (argb (held, x + 1, y + 1), argb (released, x, y)) << x << "," << y;
}

struct LabelCase
{
    const char* what;
    int width, height;
    bool down;
    const char* text;
    const char* fontName;   // nullptr: the button's default
    float fontHeight;
    juce::Rectangle<int> box;
};

class LabelLayout : public ::testing::TestWithParam<LabelCase> {};

// The label is the text fitted (one line, squeezed to 70 % at most) into the box, in the
// label colour and the button's typeface and style, at min (0.8 × height, 13) pixels.
TEST_P (LabelLayout, LabelIsTheTextFittedIntoItsBox)
{
    const auto& c = GetParam();
    auto button = screenButton (c.text, c.width, c.height);
    auto bare = screenButton ({}, c.width, c.height);

    if (c.fontName != nullptr)
        button->setFontName (c.fontName);

    const auto drawn = renderHeld (*button, c.down);

    auto expected = renderHeld (*bare, c.down);
    {
        juce::Graphics g (expected);
        g.setFont (juce::Font (button->getFontName(), c.fontHeight, juce::Font::bold));
        g.setColour (juce::Colour (16, 16, 16));
        g.drawFittedText (c.text, c.box, juce::Justification::centred, 1, 0.7f);
    }

    EXPECT_FALSE (uiTest::differenceBounds (drawn, renderHeld (*bare, c.down)).isEmpty()) << "no label drawn";
    EXPECT_TRUE (uiTest::samePixels (drawn, expected))
        << c.what << ": differs in " << uiTest::differenceBounds (drawn, expected).toString();
}

INSTANTIATE_TEST_SUITE_P (AlineButton, LabelLayout, ::testing::Values (
    LabelCase { "screen button, 16 px capped at 13", 100, 20, false, "Start", nullptr, 13.0f, { 4, 4, 92, 12 } },
    LabelCase { "screen button held", 100, 20, true, "Start", nullptr, 13.0f, { 5, 5, 92, 12 } },
    LabelCase { "15 px high: 12 px font", 100, 15, false, "Start", nullptr, 12.0f, { 4, 4, 92, 7 } },
    LabelCase { "label too long: squeezed, then cut", 100, 20, false,
                "Aktualisierung der Firmware jetzt starten", nullptr, 13.0f, { 4, 4, 92, 12 } },
    LabelCase { "typeface set by name", 100, 20, false, "Close", "DejaVu Sans", 13.0f, { 4, 4, 92, 12 } }));

TEST (AlineButton, SetTextAlwaysRepaintsAndTheFontSettersNever)
{
    auto button = screenButton ("OK");
    button->setVisible (true);
    int repaints = 0;
    button->setCachedComponentImage (new RepaintProbe (repaints));

    repaints = 0;
    button->setText ("OK");
    EXPECT_GE (repaints, 1) << "the same label";
    EXPECT_EQ (button->getButtonText(), "OK");

    repaints = 0;
    button->setText ("Start");
    EXPECT_GE (repaints, 1) << "a new label";
    EXPECT_EQ (button->getButtonText(), "Start");

    repaints = 0;
    button->setFontName ("DejaVu Sans");
    button->setFontStyle (juce::Font::plain);
    EXPECT_EQ (repaints, 0);
    EXPECT_EQ (button->getFontName(), "DejaVu Sans");
    EXPECT_EQ (button->getFontStyle(), juce::Font::plain);
}

struct BoxSize
{
    float w, h;
    bool drawn;
};

class BevelledBoxSize : public ::testing::TestWithParam<BoxSize> {};

TEST_P (BevelledBoxSize, NothingIsDrawnWhenTheLineIsAsThickAsTheBox)
{
    const auto& size = GetParam();
    const auto image = render (20, 20, [&] (juce::Graphics& g)
    {
        BtnLookAndFeel::drawBevelledBox (g, 5.0f, 5.0f, size.w, size.h, juce::Colours::red, 2.5f, -1.0f,
                                         true, true, true, true, false);
    });

    EXPECT_EQ (uiTest::differenceBounds (image, render (20, 20, [] (juce::Graphics&) {})).isEmpty(), ! size.drawn)
        << size.w << " x " << size.h;
}

INSTANTIATE_TEST_SUITE_P (AlineButton, BevelledBoxSize, ::testing::Values (
    BoxSize { 2.5f, 10.0f, false }, BoxSize { 10.0f, 2.5f, false }, BoxSize { 1.0f, 1.0f, false },
    BoxSize { 2.6f, 10.0f, true }, BoxSize { 10.0f, 2.6f, true }));

TEST (AlineButton, ATinyButtonDrawsNoBody)
{
    // With all edges connected the box is 0.2 smaller than the button: 2 pixels give 1.8.
    const std::tuple<int, int, bool> sizes[] = { { 2, 20, false }, { 100, 2, false },
                                                 { 3, 20, true }, { 100, 3, true } };

    for (auto [width, height, drawn] : sizes)
    {
        auto button = screenButton ({}, width, height);
        const auto image = render (*button);
        const auto empty = render (width, height, [] (juce::Graphics&) {});
        EXPECT_EQ (uiTest::differenceBounds (image, empty).isEmpty(), ! drawn) << width << " x " << height;
    }
}

struct CornerCase
{
    int connectedEdges;
    bool topLeft, topRight, bottomLeft, bottomRight;   // rounded
};

class ButtonCorners : public ::testing::TestWithParam<CornerCase> {};

// A corner is rounded only when neither of its edges is connected; the corner pixel one
// in from each side is then outside the arc and stays transparent.
TEST_P (ButtonCorners, CornersAreRoundedWhereNoEdgeIsConnected)
{
    const auto& c = GetParam();
    auto button = screenButton ({}, 100, 30);
    button->setConnectedEdges (c.connectedEdges);
    const auto image = render (*button);

    EXPECT_EQ (image.getPixelAt (1, 1).getAlpha() == 0, c.topLeft) << "top-left";
    EXPECT_EQ (image.getPixelAt (98, 1).getAlpha() == 0, c.topRight) << "top-right";
    EXPECT_EQ (image.getPixelAt (1, 28).getAlpha() == 0, c.bottomLeft) << "bottom-left";
    EXPECT_EQ (image.getPixelAt (98, 28).getAlpha() == 0, c.bottomRight) << "bottom-right";
}

INSTANTIATE_TEST_SUITE_P (AlineButton, ButtonCorners, ::testing::Values (
    CornerCase { 0, true, true, true, true },
    CornerCase { allEdges, false, false, false, false },
    CornerCase { juce::Button::ConnectedOnLeft, false, true, false, true },
    CornerCase { juce::Button::ConnectedOnTop, false, false, true, true },
    CornerCase { juce::Button::ConnectedOnRight | juce::Button::ConnectedOnBottom, true, false, false, false }));

TEST (AlineButton, AFreeButtonIsALozengeWithHalfCircleEnds)
{
    // Box (1.25, 1.25, 97.5, 27.5), radius 13.75: the ends are half circles around
    // (15, 15) and (85, 15), stroked from radius 12.5 to 15.
    auto button = screenButton ({}, 100, 30);
    button->setConnectedEdges (0);
    const auto image = renderHeld (*button, false);

    EXPECT_TRUE (uiTest::near (argb (image, 1, 15), white)) << "left end";
    EXPECT_TRUE (uiTest::near (argb (image, 98, 15), black)) << "right end";
    EXPECT_TRUE (uiTest::near (argb (image, 50, 1), white)) << "top";
    EXPECT_TRUE (uiTest::near (argb (image, 50, 28), black)) << "bottom";
    EXPECT_EQ (argb (image, 15, 15), body) << "inside the left end";
    EXPECT_TRUE (uiTest::near (argb (image, 5, 5), white)) << "on the upper-left arc";
    EXPECT_EQ (image.getPixelAt (2, 2).getAlpha(), 0) << "outside the upper-left arc";
    EXPECT_EQ (image.getPixelAt (97, 27).getAlpha(), 0) << "outside the lower-right arc";
}

TEST (AlineButton, EdgePathsMeetAtTheTopRightAndBottomLeftCorners)
{
    auto firstPoint = [] (const juce::Path& path)
    {
        juce::Path::Iterator it (path);
        it.next();
        return juce::Point<float> (it.x1, it.y1);
    };

    const float x = 1, y = 2, w = 50, h = 20, r = 6;

    for (bool rounded : { false, true })
    {
        const BtnLookAndFeel::RoundedCorners corners { rounded, rounded, rounded, rounded };
        const float cut = rounded ? r : 0.0f;

        juce::Path upperLeft, lowerRight, outline;
        BtnLookAndFeel::addUpperLeftEdges (upperLeft, x, y, w, h, r, corners);
        BtnLookAndFeel::addLowerRightEdges (lowerRight, x, y, w, h, r, corners);
        BtnLookAndFeel::addBoxOutline (outline, x, y, w, h, r, corners);

        EXPECT_EQ (firstPoint (upperLeft), juce::Point<float> (x + cut, y + h)) << rounded;
        EXPECT_EQ (upperLeft.getCurrentPosition(), juce::Point<float> (x + w - cut, y)) << rounded;
        EXPECT_EQ (firstPoint (lowerRight), juce::Point<float> (x + w - cut, y)) << rounded;
        EXPECT_EQ (lowerRight.getCurrentPosition(), juce::Point<float> (x + cut, y + h)) << rounded;

        EXPECT_EQ (outline.getBounds(), juce::Rectangle<float> (x, y, w, h)) << rounded;
        EXPECT_EQ (outline.contains (x + 0.5f, y + 0.5f), ! rounded);
        EXPECT_EQ (outline.contains (x + w - 0.5f, y + h - 0.5f), ! rounded);
    }
}
