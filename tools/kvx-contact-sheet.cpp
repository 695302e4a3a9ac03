// kvx-contact-sheet: renders every control of the updater's visual style, in each of its
// states, into one PNG, so that a person can look at the whole style at once.

#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"
#include "ui/AlineButton.h"
#include "ui/BtnLookAndFeel.h"
#include "ui/ImageLoader.h"
#include "ui/LangLookAndFeel.h"
#include "ui/ProgressLookAndFeel.h"
#include "ui/StyleColours.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <iostream>
#include <string>

namespace
{
    // The captions name the language names they show: a caption with CJK characters is
    // written in the family that draws every script.
    juce::Font captionFont (const juce::String& caption)
    {
        for (auto p = caption.getCharPointer(); ! p.isEmpty();)
            if (p.getAndAdvance() >= 0x1100)
                return juce::Font (resolveFontName ({}), 13.0f, juce::Font::plain);

        return juce::Font (13.0f);
    }

    const char* const help =
        "Usage: kvx-contact-sheet [OUTPUT.png]\n"
        "\n"
        "Renders the updater's bevelled buttons, progress bar, language chooser and warning\n"
        "symbol in each of their states into one PNG. Needs no display. Without OUTPUT it writes\n"
        "contact-sheet.png in the build folder (the parent of the folder this tool is in);\n"
        "scripts/test writes build/contact-sheet.png the same way.\n"
        "\n"
        "  -h, --help  show this help\n";

    constexpr int minimumSheetWidth = 700;
    constexpr int margin = 16;
    constexpr int captionWidth = 250;
    constexpr int columnGap = 24;
    constexpr int rowGap = 12;

    const juce::Colour captionColour = juce::Colours::black;
    const juce::Colour noteColour { (juce::uint8) 90, (juce::uint8) 90, (juce::uint8) 90 };

    juce::Image paint (juce::Component& component)
    {
        juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
        juce::Graphics g (image);
        component.paintEntireComponent (g, false);
        return image;
    }

    // Magnified without smoothing, so that single pixels can be told apart.
    juce::Image zoomed (const juce::Image& image, float zoom = 3.0f)
    {
        juce::Image large (juce::Image::ARGB, juce::roundToInt ((float) image.getWidth() * zoom),
                           juce::roundToInt ((float) image.getHeight() * zoom), true);
        juce::Graphics g (large);
        g.setImageResamplingQuality (juce::Graphics::lowResamplingQuality);
        g.drawImageTransformed (image, juce::AffineTransform::scale (zoom));
        return large;
    }

    juce::Image checkerboard (int width, int height, int square)
    {
        juce::Image image (juce::Image::ARGB, width, height, true);
        juce::Graphics g (image);
        g.fillCheckerBoard (image.getBounds().toFloat(), (float) square, (float) square,
                            juce::Colour (200, 200, 200), juce::Colour (250, 250, 250));
        return image;
    }

    // The sheet is built top to bottom: section headings, then rows of a caption and one
    // picture per state, each picture with a small note under it.
    class Sheet
    {
    public:
        void heading (const juce::String& text)
        {
            y += rowGap;
            items.push_back ([text, top = y] (juce::Graphics& g, int sheetWidth)
            {
                g.setColour (captionColour);
                g.setFont (juce::Font (16.0f, juce::Font::bold));
                g.drawText (text, margin, top, sheetWidth - 2 * margin, 20, juce::Justification::centredLeft);
                g.setColour (noteColour);
                g.drawHorizontalLine (top + 21, (float) margin, (float) (sheetWidth - margin));
            });
            y += 28;
        }

        void row (const juce::String& caption, const std::vector<std::pair<juce::String, juce::Image>>& pictures)
        {
            int height = 0;
            for (const auto& picture : pictures)
                height = juce::jmax (height, picture.second.getHeight());

            const int noteTop = y + height + 2;

            int right = margin + captionWidth;
            for (const auto& picture : pictures)
                right += noteWidth (picture) + columnGap;
            width = juce::jmax (width, right - columnGap + margin);

            items.push_back ([caption, pictures, top = y, noteTop] (juce::Graphics& g, int)
            {
                g.setColour (captionColour);
                g.setFont (captionFont (caption));
                g.drawFittedText (caption, margin, top, captionWidth - 8, noteTop - top + 14,
                                  juce::Justification::topLeft, 4, 1.0f);

                int x = margin + captionWidth;

                for (const auto& [note, image] : pictures)
                {
                    g.drawImageAt (image, x, top);
                    g.setColour (noteColour);
                    g.setFont (juce::Font (11.0f));
                    g.drawText (note, x, noteTop, noteWidth ({ note, image }), 14,
                                juce::Justification::centredLeft);
                    x += noteWidth ({ note, image }) + columnGap;
                }
            });

            y = noteTop + 14 + rowGap;
        }

        juce::Image render() const
        {
            juce::Image sheet (juce::Image::ARGB, width, y + margin, true);
            juce::Graphics g (sheet);
            g.fillAll (backgroundColour);

            for (const auto& item : items)
                item (g, width);

            return sheet;
        }

    private:
        // A picture's column: wide enough for the picture and for its note.
        static int noteWidth (const std::pair<juce::String, juce::Image>& picture)
        {
            const auto textWidth = juce::Font (11.0f).getStringWidth (picture.first) + 2;
            return juce::jmax (picture.second.getWidth(), textWidth);
        }

        int y = margin - rowGap;
        int width = minimumSheetWidth;
        std::vector<std::function<void (juce::Graphics&, int)>> items;
    };

    // A button as the screen sets it up: window-coloured body, bold label.
    std::unique_ptr<AlineButton> screenButton (const juce::String& label, int width = 100, int height = 20)
    {
        auto button = std::make_unique<AlineButton> (label);
        button->setFontStyle (juce::Font::bold);
        button->setColour (juce::TextButton::buttonColourId, backgroundColour);
        button->setColour (juce::TextButton::buttonOnColourId, backgroundColour);
        button->setSize (width, height);
        return button;
    }

    std::vector<std::pair<juce::String, juce::Image>> releasedAndHeld (AlineButton& button, bool withZoom)
    {
        std::vector<std::pair<juce::String, juce::Image>> pictures;

        button.setState (juce::Button::buttonNormal);
        const auto released = paint (button);
        button.setState (juce::Button::buttonDown);
        const auto held = paint (button);

        pictures.push_back ({ "released", released });
        pictures.push_back ({ "held down", held });

        if (withZoom)
        {
            pictures.push_back ({ "released, 3x", zoomed (released) });
            pictures.push_back ({ "held down, 3x", zoomed (held) });
        }

        return pictures;
    }

    juce::Image bevelledBox (float w, float h, float cornerSize, bool flatLeft, bool flatRight,
                             bool flatTop, bool flatBottom, bool down)
    {
        juce::Image image (juce::Image::ARGB, (int) std::ceil (w) + 3, (int) std::ceil (h) + 3, true);
        juce::Graphics g (image);
        BtnLookAndFeel::drawBevelledBox (g, 1.25f, 1.25f, w, h, backgroundColour, 2.5f, cornerSize,
                                         flatLeft, flatRight, flatTop, flatBottom, down);
        return image;
    }

    void addButtons (Sheet& sheet)
    {
        sheet.heading ("AlineButton with BtnLookAndFeel");

        auto ok = screenButton ("OK");
        sheet.row ("Screen colours (234, 234, 234), bold label, 100 x 20", releasedAndHeld (*ok, true));

        auto start = screenButton ("Start");
        start->setFontStyle (juce::Font::plain);
        sheet.row ("Plain label", releasedAndHeld (*start, false));

        auto longLabel = screenButton ("Aktualisierung der Firmware jetzt starten");
        sheet.row ("Long label: squeezed to 70 %, then cut", releasedAndHeld (*longLabel, false));

        auto dejaVu = screenButton ("Cancel");
        dejaVu->setFontName ("DejaVu Sans");
        sheet.row ("Typeface set by name (DejaVu Sans)", releasedAndHeld (*dejaVu, false));

        AlineButton initial ("OK");
        initial.setSize (100, 20);
        sheet.row ("The class's initial colours (black body: the lower-right bevel disappears)",
                   releasedAndHeld (initial, true));

        auto low = screenButton ("Close", 100, 15);
        sheet.row ("15 pixels high: 12 px label", releasedAndHeld (*low, false));

        auto free = screenButton ("OK", 100, 30);
        free->setConnectedEdges (0);
        sheet.row ("No connected edges, 100 x 30: rounded ends", releasedAndHeld (*free, true));

        auto leftConnected = screenButton ("OK", 100, 30);
        leftConnected->setConnectedEdges (juce::Button::ConnectedOnLeft);
        sheet.row ("Connected on the left only", releasedAndHeld (*leftConnected, false));

        sheet.heading ("BtnLookAndFeel::drawBevelledBox, no flat edges, line 2.5");

        sheet.row ("Box 97.5 x 27.5, corner size -1 (half the shorter side)",
                   { { "released", bevelledBox (97.5f, 27.5f, -1.0f, false, false, false, false, false) },
                     { "held down", bevelledBox (97.5f, 27.5f, -1.0f, false, false, false, false, true) },
                     { "released, 3x", zoomed (bevelledBox (97.5f, 27.5f, -1.0f, false, false, false, false, false)) } });

        sheet.row ("Box 97.5 x 27.5, corner size 6",
                   { { "released", bevelledBox (97.5f, 27.5f, 6.0f, false, false, false, false, false) },
                     { "held down", bevelledBox (97.5f, 27.5f, 6.0f, false, false, false, false, true) },
                     { "flat top and bottom", bevelledBox (97.5f, 27.5f, 6.0f, false, false, true, true, false) } });

        sheet.row ("Box 2.5 wide: nothing drawn; 3 wide: drawn",
                   { { "2.5 x 20", zoomed (bevelledBox (2.5f, 20.0f, -1.0f, true, true, true, true, false)) },
                     { "3 x 20", zoomed (bevelledBox (3.0f, 20.0f, -1.0f, true, true, true, true, false)) } });
    }

    void addProgressBars (Sheet& sheet)
    {
        sheet.heading ("ProgressBar with ProgressLookAndFeel, 386 x 20, as the screen sets it up");

        ProgressLookAndFeel look;
        const double values[] = { 0.0, 0.5, 1.0, -1.0, 1.5, 0.42 };
        const char* const captions[] = { "0", "0.5", "1", "-1 (indeterminate): empty, no text",
                                         "1.5: full, no text", "0.42" };
        double progress[std::size (values)] = {};
        std::vector<std::unique_ptr<juce::ProgressBar>> bars;

        for (size_t i = 0; i < std::size (values); ++i)
        {
            progress[i] = values[i];
            auto bar = std::make_unique<juce::ProgressBar> (progress[i]);
            bar->setLookAndFeel (&look);
            bar->setColour (juce::ProgressBar::foregroundColourId, juce::Colour (61, 61, 61));
            bar->setColour (juce::ProgressBar::backgroundColourId, juce::Colour (8, 8, 8));
            bar->setSize (386, 20);
            bar->setVisible (true);
            bars.push_back (std::move (bar));
        }

        // The bars take over their values, and their text, on a 30 ms timer.
        juce::MessageManager::getInstance()->runDispatchLoopUntil (200);

        for (size_t i = 0; i < bars.size(); ++i)
        {
            const auto image = paint (*bars[i]);
            std::vector<std::pair<juce::String, juce::Image>> pictures { { {}, image } };

            if (i == 1)
                pictures.push_back ({ "left end, 3x", zoomed (image.getClippedImage ({ 0, 0, 60, 20 })) });

            sheet.row (juce::String ("Progress ") + captions[i], pictures);
        }

        for (auto& bar : bars)
            bar->setLookAndFeel (nullptr);
    }

    // The chooser as the screen builds it, with English current: its face, and each of its
    // menu items drawn by LangLookAndFeel plain, highlighted, and ticked as the current one.
    void addLanguageChooser (Sheet& sheet)
    {
        sheet.heading ("ComboBox \"langs\" with LangLookAndFeel, 386 x 20, English current");

        auto* catalogue = TxtLoader::instance();
        setLanguageFallback (resolveFontName (catalogue->getCurrentFontName()));
        LangLookAndFeel look;

        juce::ComboBox chooser ("langs");
        chooser.setLookAndFeel (&look);
        chooser.setSize (386, 20);

        for (int language = 0; language < TxtLoader::languageCount; ++language)
            chooser.addItem (catalogue->getLanguageName (language), language + 1);

        std::vector<std::pair<juce::String, juce::Image>> faces;

        for (int language : { 0, 6, 8, 11 })
        {
            chooser.setSelectedId (language + 1, juce::dontSendNotification);
            faces.push_back ({ catalogue->getLanguageName (language), paint (chooser) });
        }

        sheet.row ("Closed face", { faces[0], faces[1] });
        sheet.row ("", { faces[2], faces[3] });
        chooser.setLookAndFeel (nullptr);

        const auto item = [&look] (const juce::String& text, bool highlighted, bool ticked)
        {
            juce::Image image (juce::Image::ARGB, 386, 20, true);
            juce::Graphics g (image);
            g.fillAll (look.findColour (juce::PopupMenu::backgroundColourId));
            look.drawPopupMenuItem (g, image.getBounds(), false, true, highlighted, ticked, false,
                                    text, {}, nullptr, nullptr);
            return image;
        };

        for (int language = 0; language < TxtLoader::languageCount; ++language)
        {
            const auto name = catalogue->getLanguageName (language);
            sheet.row ("Menu item " + name, { { "plain", item (name, false, false) },
                                              { "highlighted", item (name, true, false) },
                                              { "ticked (current)", item (name, false, true) } });
        }

        TxtLoader::deleteInstance();
    }

    void addWarningSymbol (Sheet& sheet)
    {
        sheet.heading ("Warning symbol: ImageLoader image 0 (resources/images/warning.png)");

        const auto symbol = ImageLoader::instance()->getImage (ImageLoader::warningSymbol);

        if (symbol.isNull())
        {
            sheet.row ("The symbol did not decode", {});
            return;
        }

        juce::Image onScreen (juce::Image::ARGB, 64, 64, true);
        {
            juce::Graphics g (onScreen);
            g.drawImage (symbol, onScreen.getBounds().toFloat());
        }

        auto onCheckerboard = checkerboard (symbol.getWidth(), symbol.getHeight(), 4);
        {
            juce::Graphics g (onCheckerboard);
            g.drawImageAt (symbol, 0, 0);
        }

        sheet.row ("56 x 55 RGBA", { { "1:1", symbol },
                                     { "drawn into (20, 15, 64, 64)", onScreen },
                                     { "6x on a checkerboard", zoomed (onCheckerboard, 6.0f) } });
        ImageLoader::deleteInstance();
    }
}

int main (int argc, char* argv[])
{
    if (argc == 2 && (std::string (argv[1]) == "-h" || std::string (argv[1]) == "--help"))
    {
        std::cout << help;
        return 0;
    }

    if (argc > 2 || (argc == 2 && (argv[1][0] == '-' || argv[1][0] == '\0')))
    {
        std::cerr << "kvx-contact-sheet: expected at most one argument, the output file (see --help)\n";
        return 2;
    }

    juce::ScopedJuceInitialiser_GUI framework;
    prepareFonts();

    const auto output = argc == 2
        ? juce::File::getCurrentWorkingDirectory().getChildFile (argv[1])
        : juce::File::getSpecialLocation (juce::File::currentExecutableFile)
              .getParentDirectory().getParentDirectory().getChildFile ("contact-sheet.png");

    Sheet sheet;
    addButtons (sheet);
    addProgressBars (sheet);
    addLanguageChooser (sheet);
    addWarningSymbol (sheet);

    juce::MemoryOutputStream png;

    if (! juce::PNGImageFormat().writeImageToStream (sheet.render(), png)
        || ! output.replaceWithData (png.getData(), png.getDataSize()))
    {
        std::cerr << "kvx-contact-sheet: cannot write " << output.getFullPathName() << '\n';
        return 1;
    }

    std::cout << output.getFullPathName() << '\n';
    return 0;
}
