#include "tools/WarningSymbol.h"

namespace
{
    const juce::Colour yellow { (juce::uint8) 255, (juce::uint8) 204, (juce::uint8) 0 };
    const juce::Colour shadow = juce::Colours::black.withAlpha (0.5f);

    // The outer edge of the black border; the apex is at the top.
    constexpr float apexX = 28.0f, apexY = 3.0f;
    constexpr float baseLeft = 3.0f, baseRight = 53.0f, baseY = 50.0f;

    constexpr float borderWidth = 4.5f;
    constexpr float outerCornerRadius = 5.0f;
    constexpr float innerCornerRadius = 2.5f;

    constexpr int shadowRadius = 3;

    juce::Path roundedTriangle (juce::Point<float> a, juce::Point<float> b, juce::Point<float> c,
                                float cornerRadius)
    {
        juce::Path triangle;
        triangle.addTriangle (a, b, c);
        return triangle.createPathWithRoundedCorners (cornerRadius);
    }

    // The triangle whose edges lie `inset` inside the given one's: scaled about its incentre.
    void insetTriangle (juce::Point<float>& a, juce::Point<float>& b, juce::Point<float>& c, float inset)
    {
        const float ab = a.getDistanceFrom (b), bc = b.getDistanceFrom (c), ca = c.getDistanceFrom (a);
        const float perimeter = ab + bc + ca;
        const auto incentre = (a * bc + b * ca + c * ab) / perimeter;
        const float area = std::abs ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y)) / 2.0f;
        const float inradius = 2.0f * area / perimeter;
        const float scale = (inradius - inset) / inradius;

        a = incentre + (a - incentre) * scale;
        b = incentre + (b - incentre) * scale;
        c = incentre + (c - incentre) * scale;
    }

    juce::Path exclamationMark()
    {
        juce::Path mark;

        // A bar that narrows downwards, with round ends, over a round dot.
        constexpr float centreX = apexX;
        constexpr float top = 21.0f, bottom = 33.5f;
        constexpr float topHalfWidth = 2.9f, bottomHalfWidth = 1.8f;

        mark.startNewSubPath (centreX - topHalfWidth, top);
        mark.quadraticTo (centreX, top - topHalfWidth * 1.2f, centreX + topHalfWidth, top);
        mark.lineTo (centreX + bottomHalfWidth, bottom);
        mark.quadraticTo (centreX, bottom + bottomHalfWidth * 1.2f, centreX - bottomHalfWidth, bottom);
        mark.closeSubPath();

        constexpr float dotY = 40.3f, dotRadius = 2.7f;
        mark.addEllipse (centreX - dotRadius, dotY - dotRadius, 2.0f * dotRadius, 2.0f * dotRadius);
        return mark;
    }
}

namespace warningSymbol
{
    juce::Image draw()
    {
        juce::Image image (juce::Image::ARGB, width, height, true, juce::SoftwareImageType());
        juce::Graphics g (image);

        juce::Point<float> a (apexX, apexY), b (baseRight, baseY), c (baseLeft, baseY);
        const auto outer = roundedTriangle (a, b, c, outerCornerRadius);

        juce::DropShadow (shadow, shadowRadius, { 0, 1 }).drawForPath (g, outer);

        g.setColour (juce::Colours::black);
        g.fillPath (outer);

        insetTriangle (a, b, c, borderWidth);
        g.setColour (yellow);
        g.fillPath (roundedTriangle (a, b, c, innerCornerRadius));

        g.setColour (juce::Colours::black);
        g.fillPath (exclamationMark());

        return image;
    }

    juce::MemoryBlock drawPng()
    {
        juce::MemoryOutputStream png;

        if (! juce::PNGImageFormat().writeImageToStream (draw(), png))
            return {};

        return png.getMemoryBlock();
    }
}
