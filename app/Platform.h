#pragma once

#include <functional>

// What the application shell needs of the operating system beyond JUCE. The Windows side
// is the system's own calls; the Linux side supplies what JUCE does not do there.
namespace platform
{
    // Lets a second start hand the foreground to this instance's window
    // (AllowSetForegroundWindow (ASFW_ANY) on Windows; nothing to do on Linux).
    void allowSetForegroundWindow();

    // JUCE on Linux takes the single-instance lock but never tells the running instance
    // about a second start. The running instance listens on a per-user channel and runs
    // `onSecondStart` on the message thread when a second start knocks.
    void listenForSecondStarts (std::function<void()> onSecondStart);
    void stopListeningForSecondStarts();

    // Called by a second start, which found the lock taken, before it exits.
    void tellRunningInstance();

    // The system's request to end the program (Windows: the end-of-session message, which
    // JUCE turns into systemRequestedQuit itself; Linux: SIGTERM) reaches `onQuitRequest`
    // on the message thread.
    void routeSystemQuitRequests (std::function<void()> onQuitRequest);
    void stopRoutingSystemQuitRequests();

    // JUCE 7's Windows windows repaint only when a vertical-blank wait succeeds, which Wine
    // does not provide: there a window would paint once and never again. Under Wine the
    // windows are repainted from a 60 Hz timer instead; elsewhere this does nothing.
    void startRepaintFallback();
    void stopRepaintFallback();
}
