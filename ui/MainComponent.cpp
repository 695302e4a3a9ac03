#include "ui/MainComponent.h"

#include "i18n/FontResolution.h"
#include "i18n/TxtLoader.h"
#include "ui/AlineButton.h"
#include "ui/ImageLoader.h"
#include "ui/LangLookAndFeel.h"
#include "ui/ProgressLookAndFeel.h"
#include "ui/StyleColours.h"
#include "update/FirmwareTransfer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
    const juce::Colour progressBarColour { 61, 61, 61 };
    const juce::Colour progressWellColour { 8, 8, 8 };

    constexpr int controllerDeviceIndex = 1;
    constexpr int noDeviceIndex = 0;

    constexpr float fontHeight = 13.0f;
    constexpr float minimumHorizontalScale = 0.7f;
    constexpr int lineHeight = 13;
    constexpr int boldStyle = juce::Font::bold;
    constexpr int plainStyle = juce::Font::plain;

    constexpr const char* shiftButtonName = "SHIFT";
    constexpr const char* syncButtonName = "SYNC";

    // Catalogue entries.
    enum Entry
    {
        productFamily = 1, updaterTitle = 3, okCaption = 4, startCaption = 5, cancelCaption = 6,
        closeCaption = 7, languageHeading = 8, languagePrompt = 9, packageErrorText = 10,
        readyHeading = 12, currentVersionLine = 13, updateVersionLine = 14, updatingHeading = 15,
        updatingPrompt = 16, updateDoneText = 17, failureHeading = 18, notFoundHeading = 20,
        connectionStep1 = 21, connectionStep2 = 22, connectionStep3 = 23, updateModeStep = 24,
    };

    // Languages as indexed by the catalogue.
    constexpr int russian = 6;

    bool buttonNamesFirst (int language)    { return language >= 8 && language <= 11; }

    const juce::String& text (int entry)
    {
        return TxtLoader::instance()->getString (entry);
    }

    int truncatedLines (float available)
    {
        return (int) (available / (float) lineHeight);
    }
}

juce::String formatText (const char* format, ...)
{
    va_list arguments;
    va_start (arguments, format);
    va_list measuring;
    va_copy (measuring, arguments);
    const int length = std::vsnprintf (nullptr, 0, format, measuring);
    va_end (measuring);

    juce::String result;

    if (length >= 0)
    {
        juce::HeapBlock<char> buffer ((size_t) length + 1);
        std::vsnprintf (buffer, (size_t) length + 1, format, arguments);
        result = juce::String::fromUTF8 (buffer, length);
    }

    va_end (arguments);
    return result;
}

// The transfer's view of this component: reports go out through the device link, answers
// come in through reportReceived, inputReport and reportEvent, states through the
// asynchronous update. A stop request (quitting) makes every remaining wait end at once,
// so the exchange still runs to its failure end, but promptly.
class MainComponent::HidTransferLink : public TransferLink
{
public:
    explicit HidTransferLink (MainComponent& ownerToUse) : owner (ownerToUse) {}

    void sendReport (const uint8_t* report, size_t length) override
    {
        owner.hidCtrl->sendReport (report, (int) length);
    }

    bool awaitAnswer (int timeoutMs, uint8_t& code, uint8_t& value) override
    {
        return ! owner.threadShouldExit()
            && awaitReportAnswer (owner.reportEvent, owner.inputReport, owner.stateLock, timeoutMs, code, value);
    }

    void postState (int state) override   { owner.postState (state); }
    // The transfer sets the progress before every data report, but it changes only about a
    // hundred times in a whole update: only a change is worth a message to the bar.
    void setProgress (double value) override
    {
        if (owner.progress.exchange (value) != value)
            owner.triggerAsyncUpdate();
    }
    void pause (int ms) override          { owner.wait (ms); }

private:
    MainComponent& owner;
};

MainComponent::MainComponent()
    : juce::Thread ("MainComponent")
{
    TxtLoader::instance();
    ImageLoader::create();

    langLookAndFeel = std::make_unique<LangLookAndFeel>();

    languageBox = std::make_unique<juce::ComboBox> ("langs");
    addAndMakeVisible (*languageBox);
    languageBox->setLookAndFeel (langLookAndFeel.get());
    languageBox->addListener (this);
    languageBox->setWantsKeyboardFocus (false);

    auto* catalogue = TxtLoader::instance();

    for (int language = 0; language < TxtLoader::languageCount; ++language)
        if (catalogue->languageAvailable[language])
            languageBox->addItem (catalogue->getLanguageName (language), language + 1);

    languageBox->setSelectedId (catalogue->currentLanguage + 1, juce::dontSendNotification);

    progressLookAndFeel = std::make_unique<ProgressLookAndFeel>();
    progressBar = std::make_unique<juce::ProgressBar> (progressShown);
    addAndMakeVisible (*progressBar);
    progressBar->setLookAndFeel (progressLookAndFeel.get());
    progressBar->setColour (juce::ProgressBar::foregroundColourId, progressBarColour);
    progressBar->setColour (juce::ProgressBar::backgroundColourId, progressWellColour);

    okButton = std::make_unique<AlineButton> ("OK");
    addAndMakeVisible (*okButton);
    okButton->addListener (this);
    okButton->setFontStyle (boldStyle);
    okButton->setColour (juce::TextButton::buttonColourId, backgroundColour);
    okButton->setColour (juce::TextButton::buttonOnColourId, backgroundColour);

    cancelButton = std::make_unique<AlineButton> ("Cancel");
    addAndMakeVisible (*cancelButton);
    cancelButton->addListener (this);
    cancelButton->setFontStyle (boldStyle);
    cancelButton->setColour (juce::TextButton::buttonColourId, backgroundColour);
    cancelButton->setColour (juce::TextButton::buttonOnColourId, backgroundColour);

    int version = -1;
    const auto payloadSize = readUpdatePackage (packageLayout::fileName, packageLayout::signature,
                                                &version, package.sections);
    settleUpdatePackage (package, payloadSize, version);

    std::memset (inputReport, 0, sizeof (inputReport));
    deviceProgress = 0.0;

    hidCtrl = std::make_unique<HidCtrl>();
    hidCtrl->open (this, package.valid ? controllerDeviceIndex : noDeviceIndex);

    setSize (initialWidth, initialHeight);
}

MainComponent::~MainComponent()
{
    // When the system ends the program during an update, the framework quits without
    // requestQuit: end the transfer here, before anything it uses is released.
    wakeTransfer();
    stopThread (-1);

    languageBox.reset();
    progressBar.reset();
    okButton.reset();
    cancelButton.reset();
    langLookAndFeel.reset();
    progressLookAndFeel.reset();

    hidCtrl->close();
    hidCtrl.reset();

    ImageLoader::deleteInstance();
    TxtLoader::deleteInstance();
}

void MainComponent::setScreenState (int newState)
{
    const bool packageErrorShown = screenState != selectLanguage && ! package.valid;
    const bool final = screenState == updateDone || screenState == updateFailed;

    if (packageErrorShown || final)
        return;

    screenState = newState;
    rebuildContent();
}

void MainComponent::postState (int state)
{
    const juce::ScopedLock lock (stateLock);
    pendingState = state;
    triggerAsyncUpdate();
}

void MainComponent::handleAsyncUpdate()
{
    progressShown = progress;

    if (screenState <= selectLanguage)
        return;

    const juce::ScopedLock lock (stateLock);

    if (pendingState != -1)
        setScreenState (pendingState);

    pendingState = -1;
}

void MainComponent::buttonClicked (juce::Button* button)
{
    if (button == okButton.get())
    {
        if (screenState == selectLanguage)
        {
            if (hidCtrl->connectionState != HidCtrl::disconnected)
            {
                deviceVersion = hidCtrl->firmwareVersion;
                setScreenState (readyToUpdate);
            }
            else
            {
                deviceVersion = -1;
                setScreenState (deviceNotFound);
            }
        }
        else if (screenState == readyToUpdate && package.valid)
        {
            reportEvent.reset();
            startThread();
        }
        else
        {
            requestQuit();
        }
    }
    else if (button == cancelButton.get())
    {
        requestQuit();
    }
}

void MainComponent::comboBoxChanged (juce::ComboBox* box)
{
    if (box != languageBox.get())
        return;

    const int language = languageBox->getSelectedId() - 1;

    // Ids come only from the chooser's own items; anything else must not reach setLanguage.
    if (language >= 0 && language < TxtLoader::languageCount
        && language != TxtLoader::instance()->currentLanguage)
        TxtLoader::instance()->setLanguage (language);

    rebuildContent();
}

void MainComponent::wakeTransfer()
{
    {
        const juce::ScopedLock lock (stateLock);
        std::memset (inputReport, 0, sizeof (inputReport));
    }

    reportEvent.signal();
}

void MainComponent::deviceRemoved()
{
    deviceVersion = -1;

    // During the transfer a device change only wakes the waiting step, which then fails.
    if (screenState == updating)
        wakeTransfer();
    else
        postState (deviceNotFound);
}

void MainComponent::deviceArrived()
{
    deviceVersion = hidCtrl->firmwareVersion;

    if (screenState == updating)
        wakeTransfer();
    else
        postState (readyToUpdate);
}

void MainComponent::reportReceived()
{
    const int length = juce::jmin (hidCtrl->lastReportLength, (int) sizeof (inputReport));

    if (length > 0)
    {
        const juce::ScopedLock lock (stateLock);
        std::memcpy (inputReport, hidCtrl->lastReport, (size_t) length);
    }

    if (screenState == updating)
        reportEvent.signal();
}

void MainComponent::requestQuit()
{
    wakeTransfer();
    stopThread (-1);
    if (auto* application = juce::JUCEApplicationBase::getInstance())
        application->systemRequestedQuit();
}

void MainComponent::run()
{
    HidTransferLink link (*this);
    runFirmwareTransfer (package, packageFileNextToExecutable (packageLayout::fileName),
                         link, deviceProgress);
}

juce::String MainComponent::deviceName() const
{
    return text (productFamily + (package.valid ? 1 : 0));
}

void MainComponent::addBlock (const juce::String& blockText, const juce::String& typeface, int style,
                              float x, float y, float width, float height, int maximumLines)
{
    textLayout.addFittedText (juce::Font (typeface, fontHeight, style), blockText, x, y, width, height,
                              juce::Justification::topLeft, maximumLines, minimumHorizontalScale);
}

float MainComponent::bottomOfLastGlyph() const
{
    const int count = textLayout.getNumGlyphs();

    if (count == 0)
        return 0.0f;

    return textLayout.getBoundingBox (count - 1, 1, true).getBottom();
}

void MainComponent::rebuildContent()
{
    auto* catalogue = TxtLoader::instance();
    const int language = catalogue->currentLanguage;
    const auto typeface = resolveFontName (catalogue->getCurrentFontName());
    const auto name = deviceName();
    const auto* nameText = name.toRawUTF8();
    const auto width = (float) getWidth();
    const auto height = (float) getHeight();
    const bool packageErrorShown = screenState != selectLanguage && ! package.valid;

    setLanguageFallback (typeface);

    if (auto* parent = getParentComponent())
        parent->setName (text (updaterTitle));

    textLayout.clear();

    const auto fullBlock = [&] (const juce::String& blockText, int style, float x)
    {
        addBlock (blockText, typeface, style, x, 20.0f, width - x - 20.0f, height - 20.0f,
                  truncatedLines (height - 20.0f));
    };

    if (screenState == selectLanguage)
    {
        fullBlock (text (languageHeading) + "\n\n", boldStyle, 20.0f);
        const auto y = bottomOfLastGlyph();
        addBlock (text (languagePrompt), typeface, plainStyle, 40.0f, y, width - 60.0f, height - y,
                  truncatedLines (height - y));
    }
    else if (packageErrorShown)
    {
        fullBlock (text (packageErrorText), plainStyle, 105.0f);
    }
    else if (screenState == deviceNotFound)
    {
        addConnectionSteps (105.0f, 20.0f, language, typeface, true);
    }
    else if (screenState == readyToUpdate)
    {
        fullBlock (formatText (text (readyHeading).toRawUTF8(), nameText) + "\n\n", boldStyle, 20.0f);
        addUpdateModeStep (40.0f, language == russian ? 51.0f : 36.0f, language, typeface);

        const auto y = bottomOfLastGlyph() + 5.0f;
        const auto versions = formatText (text (currentVersionLine).toRawUTF8(),
                                          deviceVersion / 100, deviceVersion % 100)
                            + "\n"
                            + formatText (text (updateVersionLine).toRawUTF8(),
                                          package.version / 100, package.version % 100);
        addBlock (versions, typeface, plainStyle, 60.0f, y, width - 60.0f, height - y,
                  truncatedLines (height - y));
    }
    else if (screenState == updating)
    {
        fullBlock (formatText (text (updatingHeading).toRawUTF8(), nameText) + "\n\n", boldStyle, 20.0f);
        const auto y = bottomOfLastGlyph();
        addBlock (text (updatingPrompt), typeface, plainStyle, 40.0f, y, width - 60.0f, height - y,
                  truncatedLines (height - y));
    }
    else if (screenState == updateDone)
    {
        fullBlock (formatText (text (updateDoneText).toRawUTF8(), nameText), plainStyle, 20.0f);
    }
    else if (screenState == updateFailed)
    {
        fullBlock (text (failureHeading) + "\n", plainStyle, 105.0f);
        addConnectionSteps (105.0f, 20.0f, language, typeface, false);
    }

    if (screenState == selectLanguage)
    {
        languageBox->setVisible (true);
        languageBox->setSelectedId (catalogue->currentLanguage + 1, juce::dontSendNotification);
        languageBox->resized();
    }
    else
    {
        languageBox->setVisible (false);
    }

    progressBar->setVisible (screenState == updating);

    okButton->setFontName (typeface);
    cancelButton->setFontName (typeface);

    const juce::Rectangle<int> rightButton (getWidth() - 120, getHeight() - 40, 100, 20);
    const juce::Rectangle<int> leftButton (getWidth() - 230, getHeight() - 40, 100, 20);

    const auto show = [] (AlineButton& button, const juce::String& caption, juce::Rectangle<int> bounds)
    {
        button.setVisible (true);
        button.setText (caption);
        button.setBounds (bounds);
    };

    if (screenState == selectLanguage)
    {
        show (*okButton, text (okCaption), rightButton);
        show (*cancelButton, text (cancelCaption), leftButton);
    }
    else if (packageErrorShown || screenState == updateDone || screenState == updateFailed)
    {
        okButton->setVisible (false);
        show (*cancelButton, text (okCaption), rightButton);
    }
    else if (screenState == deviceNotFound)
    {
        okButton->setVisible (false);
        show (*cancelButton, text (closeCaption), rightButton);
    }
    else if (screenState == readyToUpdate)
    {
        show (*okButton, text (startCaption), rightButton);
        show (*cancelButton, text (closeCaption), leftButton);
    }
    else if (screenState == updating)
    {
        okButton->setVisible (false);
        cancelButton->setVisible (false);
    }

    repaint();
}

void MainComponent::addConnectionSteps (float x, float y, int language, const juce::String& typeface,
                                        bool heading)
{
    const auto name = deviceName();
    const auto* nameText = name.toRawUTF8();
    const float boxWidth = (float) getWidth() - x - 15.0f;

    if (heading)
        addBlock (formatText (text (notFoundHeading).toRawUTF8(), nameText), typeface, boldStyle,
                  x, y, boxWidth, 16.0f, 1);

    y += 16.0f;

    const int step1Lines = (language >= 8 && language <= 10) ? 1 : 2;
    addBlock (formatText (text (connectionStep1).toRawUTF8(), nameText), typeface, plainStyle,
              x, y, boxWidth, (float) (step1Lines * 16), step1Lines);
    y += (float) (step1Lines * 13 + 3);

    int step2Lines = 2;

    if (language == 0 || language == 3 || language == 5 || language == 7)
        step2Lines = 3;
    else if (language == 1 || language == 2 || language == 4 || language == 6)
        step2Lines = 4;

    const auto step2 = buttonNamesFirst (language)
        ? formatText (text (connectionStep2).toRawUTF8(), shiftButtonName, syncButtonName, nameText)
        : formatText (text (connectionStep2).toRawUTF8(), nameText, shiftButtonName, syncButtonName);
    addBlock (step2, typeface, plainStyle, x, y, boxWidth, (float) (step2Lines * 16), step2Lines);
    y += (float) (step2Lines * 13 + 3);

    addBlock (text (connectionStep3), typeface, plainStyle, x, y, boxWidth, 16.0f, 1);
}

void MainComponent::addUpdateModeStep (float x, float y, int language, const juce::String& typeface)
{
    const auto name = deviceName();
    const auto* nameText = name.toRawUTF8();

    int lines = 3;

    if (language == 0 || language == 10 || language == 11)
        lines = 2;
    else if (language == 8 || language == 9)
        lines = 1;

    const auto step = buttonNamesFirst (language)
        ? formatText (text (updateModeStep).toRawUTF8(), shiftButtonName, syncButtonName, nameText)
        : formatText (text (updateModeStep).toRawUTF8(), nameText, shiftButtonName, syncButtonName);
    addBlock (step, typeface, plainStyle, x, y, (float) getWidth() - x - 20.0f, (float) (lines * 16), lines);
}

void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (backgroundColour);

    const bool warning = (screenState != selectLanguage && ! package.valid)
                      || screenState == deviceNotFound || screenState == updateFailed;

    if (warning)
    {
        const auto image = ImageLoader::instance()->getImage (ImageLoader::warningSymbol);

        if (image.isValid())
            g.drawImage (image, 20, 15, 64, 64, 0, 0, image.getWidth(), image.getHeight());
    }

    g.setColour (juce::Colours::black);
    textLayout.draw (g);
}

void MainComponent::resized()
{
    const int centreY = (getHeight() - 20) / 2;

    rebuildContent();

    languageBox->setBounds (20, centreY, getWidth() - 40, 20);
    progressBar->setBounds (20, centreY, getWidth() - 40, 20);

    if (okButton->isVisible())
    {
        okButton->setBounds (getWidth() - 120, getHeight() - 40, 100, 20);
        cancelButton->setBounds (getWidth() - 230, getHeight() - 40, 100, 20);
    }
    else
    {
        cancelButton->setBounds (getWidth() - 120, getHeight() - 40, 100, 20);
    }
}
