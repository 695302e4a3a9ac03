// The yardstick for the updater's start-up: the barest JUCE window program, built from the
// same JUCE modules. One window of the updater's size, centred, that fills itself with the
// updater's background colour and draws one line of text in the default font.

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
    class Content : public juce::Component
    {
    public:
        Content() { setSize (426, 176); }

        void paint (juce::Graphics& g) override
        {
            g.fillAll (juce::Colour (234, 234, 234));
            g.setColour (juce::Colours::black);
            g.setFont (juce::Font (13.0f, juce::Font::bold));
            g.drawText ("Select your language", 20, 20, 300, 16, juce::Justification::topLeft);
        }
    };

    class Window : public juce::ResizableWindow
    {
    public:
        Window() : juce::ResizableWindow ("bare window", true)
        {
            setContentOwned (new Content(), true);
            centreWithSize (getContentComponent()->getWidth(), getContentComponent()->getHeight());
            setVisible (true);
            setUsingNativeTitleBar (true);
        }
    };

    class BareWindow : public juce::JUCEApplication
    {
    public:
        const juce::String getApplicationName() override    { return "bare_window"; }
        const juce::String getApplicationVersion() override { return "1"; }
        bool moreThanOneInstanceAllowed() override          { return true; }
        void initialise (const juce::String&) override      { window = std::make_unique<Window>(); }
        void shutdown() override                            { window.reset(); }

    private:
        std::unique_ptr<Window> window;
    };
}

START_JUCE_APPLICATION (BareWindow)
