#include "devhid/BusSocket.h"

#include "devhid/BusProtocol.h"

#include <cerrno>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace devhid::busSocket
{
    bool startUp()  { return true; }
    void cleanUp()  {}

    Socket listen()
    {
        const int candidate = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (candidate < 0)
            return invalid;

        sockaddr_un address;
        const auto length = devhidBus::makeAddress (address, devhidBus::socketName (::getuid()));

        if (::bind (candidate, reinterpret_cast<sockaddr*> (&address), length) != 0
            || ::listen (candidate, SOMAXCONN) != 0)
        {
            ::close (candidate);
            return invalid;
        }

        return candidate;
    }

    Accepted accept (Socket listener, Socket& socket)
    {
        for (;;)
        {
            const int accepted = ::accept4 ((int) listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);

            if (accepted < 0)
            {
                if (errno == EINTR || errno == ECONNABORTED)
                    continue;

                return (errno == EAGAIN || errno == EWOULDBLOCK) ? Accepted::none : Accepted::outOfDescriptors;
            }

            // Only processes of this user may become devices.
            ucred peer {};
            socklen_t peerSize = sizeof (peer);

            if (::getsockopt (accepted, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) != 0 || peer.uid != ::getuid())
            {
                ::close (accepted);
                return Accepted::refused;
            }

            socket = accepted;
            return Accepted::device;
        }
    }

    long send (Socket socket, const uint8_t* data, size_t size)
    {
        for (;;)
        {
            const auto result = ::send ((int) socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);

            if (result >= 0)
                return (long) result;

            if (errno == EINTR)
                continue;

            return (errno == EAGAIN || errno == EWOULDBLOCK) ? 0 : -1;
        }
    }

    long receive (Socket socket, uint8_t* buffer, size_t capacity)
    {
        const auto count = ::recv ((int) socket, buffer, capacity, 0);

        if (count >= 0)
            return (long) count;

        return (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) ? -1 : -2;
    }

    void waitWritable (Socket socket, int timeoutMs)
    {
        pollfd entry { (int) socket, POLLOUT, 0 };
        ::poll (&entry, 1, timeoutMs);
    }

    int waitReadable (std::vector<Polled>& sockets, int timeoutMs)
    {
        thread_local std::vector<pollfd> entries;
        entries.clear();

        for (const auto& polled : sockets)
            entries.push_back ({ (int) polled.socket, POLLIN, 0 });

        const int ready = ::poll (entries.data(), entries.size(), timeoutMs);

        if (ready < 0)
            return errno == EINTR ? 0 : -1;

        for (size_t i = 0; i < sockets.size(); ++i)
            sockets[i].ready = entries[i].revents != 0;

        return ready;
    }

    void shutdown (Socket socket)   { ::shutdown ((int) socket, SHUT_RDWR); }
    void close (Socket socket)      { ::close ((int) socket); }

    Waker::Waker()
    {
        const int descriptor = ::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
        socket = descriptor < 0 ? invalid : descriptor;
    }

    Waker::~Waker()
    {
        if (valid())
            ::close ((int) socket);
    }

    void Waker::wake()
    {
        const uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write ((int) socket, &one, sizeof (one));
    }
}
