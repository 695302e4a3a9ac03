#include "ui/LangLookAndFeel.h"

#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"

namespace
{
    constexpr juce::uint32 separatorShadow = 0x33000000;
    constexpr juce::uint32 separatorLight = 0x66ffffff;
    constexpr float inactiveOpacity = 0.3f;
    constexpr float fontHeightDivisor = 1.3f;
    constexpr float minimumHorizontalScale = 0.7f;
    constexpr int centredOnlyReduced = juce::RectanglePlacement::centred
                                     | juce::RectanglePlacement::onlyReduceInSize;   // 292

    juce::juce_wchar asciiLower (juce::juce_wchar c)
    {
        return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c;
    }

    bool equalIgnoringAsciiCase (const juce::String& a, const juce::String& b)
    {
        auto p = a.getCharPointer();
        auto q = b.getCharPointer();

        for (;;)
        {
            const auto c = p.getAndAdvance();
            const auto d = q.getAndAdvance();

            if (asciiLower (c) != asciiLower (d))
                return false;

            if (c == 0)
                return true;
        }
    }
}

LangLookAndFeel::~LangLookAndFeel() = default;

int LangLookAndFeel::languageOfItemText (const juce::String& text)
{
    auto* loader = TxtLoader::instance();

    for (int language = 0; language < TxtLoader::languageCount; ++language)
        if (equalIgnoringAsciiCase (text, loader->getLanguageName (language)))
            return language;

    return -1;
}

void LangLookAndFeel::drawPopupMenuItem (juce::Graphics& g, const juce::Rectangle<int>& area,
                                         bool isSeparator, bool isActive, bool isHighlighted,
                                         bool isTicked, bool hasSubMenu,
                                         const juce::String& text, const juce::String& shortcutKeyText,
                                         const juce::Drawable* icon, const juce::Colour* textColour)
{
    const juce::Graphics::ScopedSaveState savedState (g);
    g.setOrigin (area.getPosition());

    const int width = area.getWidth();
    const int height = area.getHeight();
    const float halfH = (float) height * 0.5f;

    if (isSeparator)
    {
        g.setColour (juce::Colour (separatorShadow));
        g.drawLine (5.5f, halfH, (float) width - 5.5f, halfH);
        g.setColour (juce::Colour (separatorLight));
        g.drawLine (5.5f, halfH + 1.0f, (float) width - 5.5f, halfH + 1.0f);
        return;
    }

    auto colour = findColour (juce::PopupMenu::textColourId);

    if (textColour != nullptr)
        colour = *textColour;

    if (isHighlighted)
    {
        g.setColour (juce::Colour (menuHighlightColour));
        g.fillRect (1, 1, width - 2, height - 2);
        g.setColour (findColour (juce::PopupMenu::highlightedTextColourId));
    }
    else
    {
        g.setColour (colour);
    }

    if (! isActive)
        g.setOpacity (inactiveOpacity);

    // Drawn while the language's own typeface is the fallback, so that a menu font without
    // its script still shows the name in it.
    const auto previousFallback = juce::Font::getFallbackFontName();

    if (const int language = languageOfItemText (text); language >= 0)
        juce::Font::setFallbackFontName (resolveFontName (TxtLoader::instance()->getFontName (language)));

    auto font = getPopupMenuFont();
    const float maximumFontHeight = (float) height / fontHeightDivisor;

    if (font.getHeight() > maximumFontHeight)
        font.setHeight (maximumFontHeight);

    g.setFont (font);

    const int leftBorder = (height * 5) / 4;

    if (icon != nullptr)
    {
        icon->drawWithin (g, juce::Rectangle<float> (2.0f, 1.0f, (float) (leftBorder - 4), (float) (height - 2)),
                          juce::RectanglePlacement (centredOnlyReduced), 1.0f);
    }
    else if (isTicked)
    {
        const auto tick = getTickShape (1.0f);
        const float tickHeight = font.getAscent();
        const float tickTop = halfH - tickHeight * 0.5f;
        g.fillPath (tick, tick.getTransformToScaleToFit (2.0f, tickTop, (float) (leftBorder - 4), tickHeight, true));
    }

    g.setFont (withFallbackForText (font, text));
    g.drawFittedText (text, leftBorder, 0, width - leftBorder - 4, height,
                      juce::Justification::centredLeft, 1, minimumHorizontalScale);

    if (shortcutKeyText.isNotEmpty())
    {
        auto shortcutFont = g.getCurrentFont();
        shortcutFont.setHeight (shortcutFont.getHeight() * 0.75f);
        shortcutFont.setHorizontalScale (0.95f);
        g.setFont (shortcutFont);
        g.drawText (shortcutKeyText, leftBorder, 0, width - leftBorder - 8, height,
                    juce::Justification::centredRight, true);
    }

    if (hasSubMenu)
    {
        const float arrowH = 0.6f * getPopupMenuFont().getAscent();
        const float x = (float) width - (float) height * 0.6f;

        juce::Path arrow;
        arrow.addTriangle (x, halfH - arrowH * 0.5f, x, halfH + arrowH * 0.5f, x + arrowH * 0.6f, halfH);
        g.fillPath (arrow);
    }

    juce::Font::setFallbackFontName (previousFallback);
}
