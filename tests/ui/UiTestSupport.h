#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <functional>

namespace uiTest
{
    // A transparent ARGB image of the given size with `draw` painted into it.
    juce::Image render (int width, int height, const std::function<void (juce::Graphics&)>& draw);

    // The component painted, with its children, into a transparent image of its size.
    juce::Image render (juce::Component&);

    // The pixel's colour as stored (premultiplied ARGB), for exact comparisons.
    juce::uint32 argb (const juce::Image&, int x, int y);

    // Whether every channel of the two colours (as stored) differs by `tolerance` at most.
    // Anti-aliasing may leave a pixel that a path covers entirely a level or two short.
    bool near (juce::uint32 argb, juce::uint32 expected, int tolerance = 3);

    // Whether the two images have the same size and exactly the same pixels.
    bool samePixels (const juce::Image&, const juce::Image&);

    // The smallest box around the pixels where `a` and `b` differ (they must be the same
    // size); empty when there are none.
    juce::Rectangle<int> differenceBounds (const juce::Image& a, const juce::Image& b);

    // The smallest box around the pixels for which `select` holds.
    juce::Rectangle<int> boundsWhere (const juce::Image&, const std::function<bool (juce::Colour)>& select);
}
