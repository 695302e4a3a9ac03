#pragma once

#include <juce_graphics/juce_graphics.h>

// The window background, and the body colour the screen gives both of its buttons, so
// that a button shows only through its bevel.
inline const juce::Colour backgroundColour { (juce::uint8) 234, (juce::uint8) 234, (juce::uint8) 234 };

// Button labels, whatever the button's state or colours.
inline const juce::Colour labelColour { (juce::uint8) 16, (juce::uint8) 16, (juce::uint8) 16 };
