#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

class BtnLookAndFeel;

// The updater's push button: a bevelled box drawn by its own BtnLookAndFeel, and a label
// it draws itself, which moves one pixel right and down while the button is held so that
// the button looks sunken. Connected on all four edges, so its corners are square. Its
// body colours are TextButton::buttonColourId (toggle off) and buttonOnColourId (toggle
// on), black until the owner sets them.
class AlineButton : public juce::Button
{
public:
    explicit AlineButton (const juce::String& name);
    ~AlineButton() override;

    // Sets the label; a label equal to the present one still repaints the button.
    void setText (const juce::String& newText);

    // Typeface and style (juce::Font style flags) of the label, used from the next paint
    // on: neither repaints.
    void setFontName (const juce::String& newFontName);
    void setFontStyle (int newFontStyle);

    const juce::String& getFontName() const noexcept { return fontName; }
    int getFontStyle() const noexcept { return fontStyle; }

    // Where the label goes in a button of the given size: 4 pixels in from each side,
    // shifted to (5, 5) while held down.
    static juce::Rectangle<int> labelBox (int width, int height, bool down);

    // The label's font height: 0.8 of the button's height, at most 13 pixels.
    static float labelFontHeight (int height);

protected:
    void paintButton (juce::Graphics&, bool shouldDrawButtonAsHighlighted,
                      bool shouldDrawButtonAsDown) override;

private:
    BtnLookAndFeel* lookAndFeel = nullptr;
    int justification = juce::Justification::centred;
    juce::String fontName;  // "<Sans-Serif>", the framework's default sans-serif, until set
    int fontStyle = juce::Font::plain;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlineButton)
};
