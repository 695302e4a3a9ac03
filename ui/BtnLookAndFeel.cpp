#include "ui/BtnLookAndFeel.h"

namespace
{
    constexpr float connectedInset = 0.1f;
    constexpr float freeInset = 1.25f;
    constexpr float bevelThickness = 2.5f;
    constexpr float automaticCornerSize = -1.0f;

    // Arc angles run clockwise from twelve o'clock.
    constexpr float rightAngle = 1.5707964f;
    constexpr float bottomAngle = 3.1415927f;
    constexpr float leftAngle = 4.712389f;
    constexpr float fullTurn = 6.2831855f;

    void addCornerArc (juce::Path& path, float squareX, float squareY, float radius,
                       float fromAngle, float toAngle)
    {
        path.addArc (squareX, squareY, 2.0f * radius, 2.0f * radius, fromAngle, toAngle, false);
    }
}

BtnLookAndFeel::~BtnLookAndFeel() = default;

BtnLookAndFeel::RoundedCorners BtnLookAndFeel::RoundedCorners::forFlatEdges (bool flatLeft, bool flatRight,
                                                                             bool flatTop, bool flatBottom)
{
    RoundedCorners corners;
    corners.topLeft = ! (flatLeft || flatTop);
    corners.topRight = ! (flatRight || flatTop);
    corners.bottomLeft = ! (flatLeft || flatBottom);
    corners.bottomRight = ! (flatRight || flatBottom);
    return corners;
}

void BtnLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                           const juce::Colour& bodyColour,
                                           bool /*isMouseOverButton*/, bool isButtonDown)
{
    const bool left = button.isConnectedOnLeft();
    const bool right = button.isConnectedOnRight();
    const bool top = button.isConnectedOnTop();
    const bool bottom = button.isConnectedOnBottom();

    auto inset = [] (bool connected) { return connected ? connectedInset : freeInset; };

    const float x = inset (left);
    const float y = inset (top);
    const float w = (float) button.getWidth() - inset (left) - inset (right);
    const float h = (float) button.getHeight() - inset (top) - inset (bottom);

    drawBevelledBox (g, x, y, w, h, bodyColour, bevelThickness, automaticCornerSize,
                     left, right, top, bottom, isButtonDown);
}

void BtnLookAndFeel::drawBevelledBox (juce::Graphics& g, float x, float y, float w, float h,
                                      juce::Colour colour, float thickness, float cornerSize,
                                      bool flatLeft, bool flatRight, bool flatTop, bool flatBottom,
                                      bool down)
{
    if (thickness >= w || thickness >= h)
        return;

    const float radius = cornerSize >= 0.0f ? cornerSize : juce::jmin (w / 2.0f, h / 2.0f);
    const auto corners = RoundedCorners::forFlatEdges (flatLeft, flatRight, flatTop, flatBottom);
    const juce::PathStrokeType stroke (thickness, juce::PathStrokeType::mitered, juce::PathStrokeType::butt);

    juce::Path outline;
    addBoxOutline (outline, x, y, w, h, radius, corners);
    g.setColour (colour);
    g.fillPath (outline);

    juce::Path upperLeft;
    addUpperLeftEdges (upperLeft, x, y, w, h, radius, corners);
    g.setColour (down ? juce::Colours::black : juce::Colours::white);
    g.strokePath (upperLeft, stroke);

    juce::Path lowerRight;
    addLowerRightEdges (lowerRight, x, y, w, h, radius, corners);
    g.setColour (down ? juce::Colours::white : juce::Colours::black);
    g.strokePath (lowerRight, stroke);
}

void BtnLookAndFeel::addBoxOutline (juce::Path& path, float x, float y, float w, float h, float r,
                                    RoundedCorners corners)
{
    const float xr = x + w;
    const float yb = y + h;

    if (corners.topLeft)
    {
        path.startNewSubPath (x, y + r);
        addCornerArc (path, x, y, r, leftAngle, fullTurn);
    }
    else
    {
        path.startNewSubPath (x, y);
    }

    if (corners.topRight)
    {
        path.lineTo (xr - r, y);
        addCornerArc (path, xr - 2.0f * r, y, r, 0.0f, rightAngle);
    }
    else
    {
        path.lineTo (xr, y);
    }

    if (corners.bottomRight)
    {
        path.lineTo (xr, yb - r);
        addCornerArc (path, xr - 2.0f * r, yb - 2.0f * r, r, rightAngle, bottomAngle);
    }
    else
    {
        path.lineTo (xr, yb);
    }

    if (corners.bottomLeft)
    {
        path.lineTo (x + r, yb);
        addCornerArc (path, x, yb - 2.0f * r, r, bottomAngle, leftAngle);
    }
    else
    {
        path.lineTo (x, yb);
    }

    path.closeSubPath();
}

void BtnLookAndFeel::addUpperLeftEdges (juce::Path& path, float x, float y, float w, float h, float r,
                                        RoundedCorners corners)
{
    const float xr = x + w;
    const float yb = y + h;

    if (corners.bottomLeft)
    {
        path.startNewSubPath (x + r, yb);
        addCornerArc (path, x, yb - 2.0f * r, r, bottomAngle, leftAngle);
    }
    else
    {
        path.startNewSubPath (x, yb);
    }

    if (corners.topLeft)
    {
        path.lineTo (x, y + r);
        addCornerArc (path, x, y, r, leftAngle, fullTurn);
    }
    else
    {
        path.lineTo (x, y);
    }

    path.lineTo (corners.topRight ? xr - r : xr, y);
}

void BtnLookAndFeel::addLowerRightEdges (juce::Path& path, float x, float y, float w, float h, float r,
                                         RoundedCorners corners)
{
    const float xr = x + w;
    const float yb = y + h;

    if (corners.topRight)
    {
        path.startNewSubPath (xr - r, y);
        addCornerArc (path, xr - 2.0f * r, y, r, 0.0f, rightAngle);
    }
    else
    {
        path.startNewSubPath (xr, y);
    }

    if (corners.bottomRight)
    {
        path.lineTo (xr, yb - r);
        addCornerArc (path, xr - 2.0f * r, yb - 2.0f * r, r, rightAngle, bottomAngle);
    }
    else
    {
        path.lineTo (xr, yb);
    }

    path.lineTo (corners.bottomLeft ? x + r : x, yb);
}
