#include "app/Platform.h"

#include <juce_events/juce_events.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace
{
    // The channel is an abstract Unix socket per user: it leaves no file behind and a
    // process of another user cannot reach it.
    sockaddr_un secondStartAddress (socklen_t& length)
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const auto name = "kvx-updater-instance." + std::to_string (::getuid());
        std::memcpy (address.sun_path + 1, name.data(), name.size());
        length = (socklen_t) (offsetof (sockaddr_un, sun_path) + 1 + name.size());
        return address;
    }

    int listeningSocket = -1;
    std::function<void()> secondStartCallback;

    int quitPipe[2] = { -1, -1 };
    std::function<void()> quitCallback;
    struct sigaction previousTermAction {};

    void onTermSignal (int)
    {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write (quitPipe[1], &byte, 1);
    }
}

namespace platform
{
    void allowSetForegroundWindow() {}

    void listenForSecondStarts (std::function<void()> onSecondStart)
    {
        socklen_t length = 0;
        const auto address = secondStartAddress (length);
        listeningSocket = ::socket (AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);

        if (listeningSocket < 0)
            return;

        if (::bind (listeningSocket, reinterpret_cast<const sockaddr*> (&address), length) != 0
            || ::listen (listeningSocket, 4) != 0)
        {
            ::close (listeningSocket);
            listeningSocket = -1;
            return;
        }

        secondStartCallback = std::move (onSecondStart);
        juce::LinuxEventLoop::registerFdCallback (listeningSocket, [] (int fd)
        {
            const int connection = ::accept4 (fd, nullptr, nullptr, SOCK_CLOEXEC);

            if (connection >= 0)
                ::close (connection);

            if (secondStartCallback)
                secondStartCallback();
        });
    }

    void stopListeningForSecondStarts()
    {
        if (listeningSocket < 0)
            return;

        juce::LinuxEventLoop::unregisterFdCallback (listeningSocket);
        ::close (listeningSocket);
        listeningSocket = -1;
        secondStartCallback = nullptr;
    }

    void tellRunningInstance()
    {
        socklen_t length = 0;
        const auto address = secondStartAddress (length);
        const int fd = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);

        if (fd < 0)
            return;

        ::connect (fd, reinterpret_cast<const sockaddr*> (&address), length);
        ::close (fd);
    }

    void routeSystemQuitRequests (std::function<void()> onQuitRequest)
    {
        if (quitPipe[0] >= 0 || ::pipe2 (quitPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;

        quitCallback = std::move (onQuitRequest);
        juce::LinuxEventLoop::registerFdCallback (quitPipe[0], [] (int fd)
        {
            char bytes[16];
            while (::read (fd, bytes, sizeof (bytes)) > 0) {}

            if (quitCallback)
                quitCallback();
        });

        struct sigaction action {};
        action.sa_handler = onTermSignal;
        sigemptyset (&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction (SIGTERM, &action, &previousTermAction);
    }

    void stopRoutingSystemQuitRequests()
    {
        if (quitPipe[0] < 0)
            return;

        ::sigaction (SIGTERM, &previousTermAction, nullptr);
        juce::LinuxEventLoop::unregisterFdCallback (quitPipe[0]);
        ::close (quitPipe[0]);
        ::close (quitPipe[1]);
        quitPipe[0] = quitPipe[1] = -1;
        quitCallback = nullptr;
    }

    void startRepaintFallback() {}
    void stopRepaintFallback() {}
}
