#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The language chooser's look. It draws the items of the chooser's menu as the framework
// does, with two changes: a highlighted item is filled with a fixed dark navy, and while an
// item whose text is a language name is drawn, that language's typeface (resolved for this
// system) is the process-wide fallback, restored after the item. Colours, the chooser's
// face, the menu background and the item measuring keep the framework's defaults: white
// menu, black text, white text on the highlight.
class LangLookAndFeel : public juce::LookAndFeel_V2
{
public:
    static constexpr juce::uint32 menuHighlightColour = 0xff000040;

    LangLookAndFeel() = default;
    ~LangLookAndFeel() override;

    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted,
                            bool isTicked, bool hasSubMenu,
                            const juce::String& text, const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;

    // The language index whose name the text is, comparing A to Z without regard to case
    // and everything else exactly; -1 when it names none.
    static int languageOfItemText (const juce::String& text);

private:
    JUCE_DECLARE_NON_COPYABLE (LangLookAndFeel)
};
