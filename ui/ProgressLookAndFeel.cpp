#include "ui/ProgressLookAndFeel.h"

namespace
{
    constexpr float border = 2.0f;
    constexpr float textHeightFactor = 0.8f;

    const juce::Colour gradientTop { (juce::uint8) 167, (juce::uint8) 167, (juce::uint8) 167 };
    const juce::Colour gradientMiddle { (juce::uint8) 100, (juce::uint8) 100, (juce::uint8) 100 };
    const juce::Colour gradientBottom { (juce::uint8) 108, (juce::uint8) 108, (juce::uint8) 108 };
}

ProgressLookAndFeel::~ProgressLookAndFeel() = default;

juce::Rectangle<float> ProgressLookAndFeel::fillArea (int width, int height, double progress)
{
    const double innerWidth = juce::jmax (0.0, width - 2.0 * border);
    double filled = progress * innerWidth;

    if (! (filled > 0.0))   // negative, and NaN as well
        filled = 0.0;
    else if (filled > innerWidth)
        filled = innerWidth;

    return { border, border, (float) filled, (float) height - 2.0f * border };
}

void ProgressLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                           double progress, const juce::String& textToShow)
{
    g.fillAll (bar.findColour (juce::ProgressBar::backgroundColourId));

    // The gradient ends two pixels above the fill's bottom; below its end point it keeps
    // its end colour, so the fill's last two rows are flat.
    juce::ColourGradient shading (gradientTop, border, border,
                                  gradientBottom, border, (float) height - 2.0f * border, false);
    shading.addColour (0.5, gradientMiddle);
    g.setGradientFill (shading);
    g.fillRect (fillArea (width, height, progress));

    if (textToShow.isNotEmpty())
    {
        g.setColour (juce::Colours::white);
        g.setFont (g.getCurrentFont().withHeight (textHeightFactor * (float) height)
                                     .withStyle (juce::Font::plain));
        g.drawText (textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}
