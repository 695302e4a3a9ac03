#pragma once

#include <juce_graphics/juce_graphics.h>

// The updater's warning symbol, drawn from its description: an upward yellow triangle
// with a thick black border and a black exclamation mark, softly shaded outside the
// border, on a transparent background; 56 × 55 pixels, ARGB. resources/images/warning.png
// is this drawing as written by kvx-draw-warning.
namespace warningSymbol
{
    constexpr int width = 56;
    constexpr int height = 55;

    juce::Image draw();

    // The drawing as a PNG file (8 bits a channel, RGBA); empty if encoding failed.
    juce::MemoryBlock drawPng();
}
