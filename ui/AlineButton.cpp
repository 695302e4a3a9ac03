#include "ui/AlineButton.h"

#include "ui/BtnLookAndFeel.h"
#include "ui/StyleColours.h"

namespace
{
    constexpr int labelMargin = 4;
    constexpr float labelHeightFactor = 0.8f;
    constexpr float maximumLabelHeight = 13.0f;
    constexpr int labelLines = 1;

    // A label too long for the box is squeezed to 70 % of its width before it is cut.
    constexpr float minimumLabelScale = 0.7f;
}

AlineButton::AlineButton (const juce::String& name)
    : juce::Button (name),
      fontName (juce::Font::getDefaultSansSerifFontName())
{
    lookAndFeel = new BtnLookAndFeel();
    setLookAndFeel (lookAndFeel);

    setColour (juce::TextButton::buttonColourId, juce::Colours::black);
    setColour (juce::TextButton::buttonOnColourId, juce::Colours::black);

    setConnectedEdges (ConnectedOnLeft | ConnectedOnRight | ConnectedOnTop | ConnectedOnBottom);
}

AlineButton::~AlineButton()
{
    // The component must let go of its look before the look is deleted.
    setLookAndFeel (nullptr);
    delete lookAndFeel;
    lookAndFeel = nullptr;
}

void AlineButton::setText (const juce::String& newText)
{
    if (newText == getButtonText())
        repaint();
    else
        setButtonText (newText);
}

void AlineButton::setFontName (const juce::String& newFontName)
{
    fontName = newFontName;
}

void AlineButton::setFontStyle (int newFontStyle)
{
    fontStyle = newFontStyle;
}

juce::Rectangle<int> AlineButton::labelBox (int width, int height, bool down)
{
    const int origin = down ? labelMargin + 1 : labelMargin;
    return { origin, origin, width - 2 * labelMargin, height - 2 * labelMargin };
}

float AlineButton::labelFontHeight (int height)
{
    return juce::jmin (labelHeightFactor * (float) height, maximumLabelHeight);
}

void AlineButton::paintButton (juce::Graphics& g, bool shouldDrawButtonAsHighlighted,
                               bool shouldDrawButtonAsDown)
{
    const auto bodyColour = findColour (getToggleState() ? juce::TextButton::buttonOnColourId
                                                         : juce::TextButton::buttonColourId);

    getLookAndFeel().drawButtonBackground (g, *this, bodyColour,
                                           shouldDrawButtonAsHighlighted, shouldDrawButtonAsDown);

    g.setFont (juce::Font (fontName, labelFontHeight (getHeight()), fontStyle));
    g.setColour (labelColour);
    g.drawFittedText (getButtonText(), labelBox (getWidth(), getHeight(), shouldDrawButtonAsDown),
                      juce::Justification (justification), labelLines, minimumLabelScale);
}
