#pragma once

#include "device/HidCtrl.h"
#include "update/AutoResetEvent.h"
#include "update/ScreenState.h"
#include "update/UpdatePackage.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <atomic>
#include <memory>

class AlineButton;
class LangLookAndFeel;
class ProgressLookAndFeel;

// The whole content of the main window and the controller of the update: it owns the
// controls, the package read at start, the device link and the transfer thread, and it
// alone changes the screen state. Changes come from the user (buttons, language chooser),
// from the controller (HidHandler events on the message thread) and from the transfer
// thread, which posts a state that the asynchronous update applies.
class MainComponent : public juce::Component,
                      public juce::AsyncUpdater,
                      public juce::Thread,
                      public HidHandler,
                      public juce::ComboBox::Listener,
                      public juce::Button::Listener
{
public:
    MainComponent();
    ~MainComponent() override;

    void setScreenState (int newState);
    void requestQuit();

    void paint (juce::Graphics&) override;
    void resized() override;
    void handleAsyncUpdate() override;
    void run() override;
    void deviceRemoved() override;
    void deviceArrived() override;
    void reportReceived() override;
    void comboBoxChanged (juce::ComboBox*) override;
    void buttonClicked (juce::Button*) override;

    static constexpr int initialWidth = 420;
    static constexpr int initialHeight = 170;

    // Read access for tests and the end-to-end checks.
    int getScreenState() const noexcept           { return screenState; }
    int getDeviceVersion() const noexcept         { return deviceVersion; }
    const UpdatePackage& getPackage() const noexcept { return package; }
    const juce::GlyphArrangement& getTextLayout() const noexcept { return textLayout; }
    juce::ComboBox& getLanguageBox() noexcept     { return *languageBox; }
    juce::ProgressBar& getProgressBar() noexcept  { return *progressBar; }
    AlineButton& getOkButton() noexcept           { return *okButton; }
    AlineButton& getCancelButton() noexcept       { return *cancelButton; }
    double getProgress() const noexcept           { return progress.load(); }
    double getShownProgress() const noexcept      { return progressShown; }
    const uint8_t* getInputReport() const noexcept { return inputReport; }

private:
    class HidTransferLink;

    void rebuildContent();
    void addConnectionSteps (float x, float y, int language, const juce::String& typeface, bool heading);
    void addUpdateModeStep (float x, float y, int language, const juce::String& typeface);
    void addBlock (const juce::String& text, const juce::String& typeface, int style,
                   float x, float y, float width, float height, int maximumLines);
    float bottomOfLastGlyph() const;
    juce::String deviceName() const;
    void postState (int state);
    void wakeTransfer();

    juce::GlyphArrangement textLayout;
    std::unique_ptr<LangLookAndFeel> langLookAndFeel;
    std::unique_ptr<juce::ComboBox> languageBox;
    std::unique_ptr<ProgressLookAndFeel> progressLookAndFeel;
    // Written by the transfer thread; handleAsyncUpdate copies it into progressShown, the
    // value the progress bar reads on the message thread.
    std::atomic<double> progress { 0.0 };
    double progressShown = 0.0;
    std::unique_ptr<juce::ProgressBar> progressBar;
    std::unique_ptr<AlineButton> okButton;
    std::unique_ptr<AlineButton> cancelButton;
    juce::CriticalSection stateLock;
    AutoResetEvent reportEvent;
    UpdatePackage package;
    int deviceVersion = -1;
    int screenState = selectLanguage;
    int pendingState = -1;
    std::unique_ptr<HidCtrl> hidCtrl;
    uint8_t inputReport[256] = {};   // under stateLock: a flood of reports may land during a read
    double deviceProgress = 0.0;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainComponent)
};

// printf-style formatting of a UTF-8 format with int and UTF-8 string arguments.
juce::String formatText (const char* format, ...);
