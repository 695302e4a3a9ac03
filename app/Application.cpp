#include "app/Application.h"

#include "app/MainWindow.h"
#include "app/Platform.h"
#include "i18n/FontResolution.h"

Application::Application() = default;

Application::~Application() = default;

void Application::initialise (const juce::String&)
{
    initialised = true;
    platform::listenForSecondStarts ([this] { anotherInstanceStarted ({}); });
    platform::routeSystemQuitRequests ([this] { systemRequestedQuit(); });
    prepareFonts();
    platform::startRepaintFallback();
    mainWindow = std::make_unique<MainWindow>();
}

void Application::shutdown()
{
    // JUCE also calls shutdown in a second start that found the lock taken and never
    // initialised: that is the moment to tell the running instance.
    if (! initialised)
    {
        platform::tellRunningInstance();
        return;
    }

    mainWindow.reset();
    platform::stopRepaintFallback();
    platform::stopRoutingSystemQuitRequests();
    platform::stopListeningForSecondStarts();
}

const juce::String Application::getApplicationName()
{
    return applicationName;
}

const juce::String Application::getApplicationVersion()
{
    return applicationVersion;
}

bool Application::moreThanOneInstanceAllowed()
{
    platform::allowSetForegroundWindow();
    return false;
}

void Application::anotherInstanceStarted (const juce::String&)
{
    if (mainWindow != nullptr && mainWindow->isVisible())
    {
        mainWindow->toFront (true);
        mainWindow->grabKeyboardFocus();
    }
}
