#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class MainWindow;

// The program: one instance, one always-on-top window, and the order of start and end.
class Application : public juce::JUCEApplication
{
public:
    Application();

    void initialise (const juce::String& commandLine) override;
    void shutdown() override;
    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;
    void anotherInstanceStarted (const juce::String& commandLine) override;
    ~Application() override;

    static constexpr const char* applicationName = "KVXUpdateProgram";
    static constexpr const char* applicationVersion = "0.0.0.1";

private:
    std::unique_ptr<MainWindow> mainWindow;
    bool initialised = false;
};
