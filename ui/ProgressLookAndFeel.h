#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The progress bar's look: a well in the bar's ProgressBar::backgroundColourId with a grey
// fill shaded like metal (lighter at the top, darkest in the middle), and the bar's text
// in white over it. Indeterminate (negative) progress draws the empty well, without
// animation. ProgressBar::foregroundColourId is not used.
class ProgressLookAndFeel : public juce::LookAndFeel_V4
{
public:
    ~ProgressLookAndFeel() override;

    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height,
                          double progress, const juce::String& textToShow) override;

    // The filled part of a bar of the given size: 2 pixels in from the left, top and
    // bottom, and progress × (width − 4) wide, kept within 0 and width − 4.
    static juce::Rectangle<float> fillArea (int width, int height, double progress);
};
