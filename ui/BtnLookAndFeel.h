#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The body of an AlineButton: a filled box with a two-colour bevel, white upper-left and
// black lower-right edges while released, the two swapped while held down. Every other
// drawing is the framework's default.
class BtnLookAndFeel : public juce::LookAndFeel_V4
{
public:
    ~BtnLookAndFeel() override;

    // Insets each edge by 0.1 where the button is connected and 1.25 where it is not, then
    // draws the bevelled box with a 2.5 pixel line. Mouse-over, focus and the enabled
    // state are not shown.
    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& bodyColour,
                               bool isMouseOverButton, bool isButtonDown) override;

    struct RoundedCorners
    {
        bool topLeft = false, topRight = false, bottomLeft = false, bottomRight = false;

        // A corner is rounded only when neither of its two edges is flat.
        static RoundedCorners forFlatEdges (bool flatLeft, bool flatRight, bool flatTop, bool flatBottom);
    };

    // Fills the box with the colour, then strokes the upper-left edges and then the
    // lower-right edges (so the latter cover the former where they meet), each with the
    // given thickness, mitred joints and butt ends. A thickness of w or h or more draws
    // nothing. A negative corner size means half the shorter side.
    static void drawBevelledBox (juce::Graphics&, float x, float y, float w, float h,
                                 juce::Colour colour, float thickness, float cornerSize,
                                 bool flatLeft, bool flatRight, bool flatTop, bool flatBottom,
                                 bool down);

    // The closed outline of the box; arcs only at the rounded corners, joined by lines.
    static void addBoxOutline (juce::Path&, float x, float y, float w, float h, float radius,
                               RoundedCorners);

    // The open path bottom-left → top-left → top-right.
    static void addUpperLeftEdges (juce::Path&, float x, float y, float w, float h, float radius,
                                   RoundedCorners);

    // The open path top-right → bottom-right → bottom-left.
    static void addLowerRightEdges (juce::Path&, float x, float y, float w, float h, float radius,
                                    RoundedCorners);
};
