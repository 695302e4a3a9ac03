#include "app/Platform.h"

#include <juce_gui_basics/juce_gui_basics.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>

namespace
{
    // Wine's ntdll exports wine_get_version; Windows' does not.
    bool runningUnderWine()
    {
        const auto ntdll = ::GetModuleHandleA ("ntdll.dll");
        return ntdll != nullptr && ::GetProcAddress (ntdll, "wine_get_version") != nullptr;
    }

    class RepaintTimer final : public juce::Timer
    {
    public:
        RepaintTimer() { startTimerHz (60); }
        ~RepaintTimer() override { stopTimer(); }

        void timerCallback() override
        {
            for (int i = juce::ComponentPeer::getNumPeers(); --i >= 0;)
                if (auto* peer = juce::ComponentPeer::getPeer (i))
                    peer->performAnyPendingRepaintsNow();
        }
    };

    std::unique_ptr<RepaintTimer> repaintTimer;
}

namespace platform
{
    void allowSetForegroundWindow()
    {
        ::AllowSetForegroundWindow (ASFW_ANY);
    }

    // JUCE on Windows tells the running instance about a second start itself
    // (anotherInstanceStarted), and turns the end-of-session message into
    // systemRequestedQuit: nothing to add.
    void listenForSecondStarts (std::function<void()>) {}
    void stopListeningForSecondStarts() {}
    void tellRunningInstance() {}
    void routeSystemQuitRequests (std::function<void()>) {}
    void stopRoutingSystemQuitRequests() {}

    void startRepaintFallback()
    {
        if (repaintTimer == nullptr && runningUnderWine())
            repaintTimer = std::make_unique<RepaintTimer>();
    }

    void stopRepaintFallback()
    {
        repaintTimer.reset();
    }
}
