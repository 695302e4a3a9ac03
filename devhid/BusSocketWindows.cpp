#include "devhid/BusSocket.h"

#include "devhid/BusProtocol.h"

#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

namespace devhid::busSocket
{
    namespace
    {
        SOCKET native (Socket socket)    { return (SOCKET) socket; }
        Socket wrapped (SOCKET socket)   { return socket == INVALID_SOCKET ? invalid : (Socket) socket; }

        bool wouldBlock()   { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

        void makeNonBlocking (SOCKET socket)
        {
            u_long on = 1;
            ::ioctlsocket (socket, FIONBIO, &on);
        }

        sockaddr_in loopback (uint16_t port)
        {
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_port = ::htons (port);
            address.sin_addr.s_addr = ::htonl (INADDR_LOOPBACK);
            return address;
        }
    }

    bool startUp()
    {
        WSADATA data {};
        return ::WSAStartup (MAKEWORD (2, 2), &data) == 0;
    }

    void cleanUp()
    {
        ::WSACleanup();
    }

    // Only the loopback address is bound, so only programs on this machine can become devices.
    Socket listen()
    {
        const SOCKET candidate = ::socket (AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (candidate == INVALID_SOCKET)
            return invalid;

        // Without this a second program could bind the same port beside us.
        const BOOL exclusive = TRUE;
        ::setsockopt (candidate, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                      reinterpret_cast<const char*> (&exclusive), sizeof (exclusive));

        const auto address = loopback (devhidBus::tcpPort);

        if (::bind (candidate, reinterpret_cast<const sockaddr*> (&address), sizeof (address)) != 0
            || ::listen (candidate, SOMAXCONN) != 0)
        {
            ::closesocket (candidate);
            return invalid;
        }

        makeNonBlocking (candidate);
        return wrapped (candidate);
    }

    Accepted accept (Socket listener, Socket& socket)
    {
        const SOCKET accepted = ::accept (native (listener), nullptr, nullptr);

        if (accepted == INVALID_SOCKET)
            return Accepted::none;

        makeNonBlocking (accepted);

        // Reports go back and forth one at a time: without this every small message would
        // wait for the other side's delayed acknowledgement.
        const BOOL on = TRUE;
        ::setsockopt (accepted, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*> (&on), sizeof (on));

        socket = wrapped (accepted);
        return Accepted::device;
    }

    long send (Socket socket, const uint8_t* data, size_t size)
    {
        const int result = ::send (native (socket), reinterpret_cast<const char*> (data), (int) size, 0);

        if (result >= 0)
            return result;

        return wouldBlock() ? 0 : -1;
    }

    long receive (Socket socket, uint8_t* buffer, size_t capacity)
    {
        const int count = ::recv (native (socket), reinterpret_cast<char*> (buffer), (int) capacity, 0);

        if (count >= 0)
            return count;

        return wouldBlock() ? -1 : -2;
    }

    void waitWritable (Socket socket, int timeoutMs)
    {
        WSAPOLLFD entry { native (socket), POLLWRNORM, 0 };
        ::WSAPoll (&entry, 1, (INT) timeoutMs);
    }

    int waitReadable (std::vector<Polled>& sockets, int timeoutMs)
    {
        thread_local std::vector<WSAPOLLFD> entries;
        entries.clear();

        for (const auto& polled : sockets)
            entries.push_back ({ native (polled.socket), POLLRDNORM, 0 });

        const int ready = ::WSAPoll (entries.data(), (ULONG) entries.size(), (INT) timeoutMs);

        if (ready < 0)
            return -1;

        for (size_t i = 0; i < sockets.size(); ++i)
            sockets[i].ready = entries[i].revents != 0;

        return ready;
    }

    void shutdown (Socket socket)   { ::shutdown (native (socket), SD_BOTH); }
    void close (Socket socket)      { ::closesocket (native (socket)); }

    // A UDP socket on the loopback connected to itself: wake() sends it one datagram.
    Waker::Waker()
    {
        const SOCKET candidate = ::socket (AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        if (candidate == INVALID_SOCKET)
            return;

        auto address = loopback (0);
        int length = sizeof (address);

        if (::bind (candidate, reinterpret_cast<const sockaddr*> (&address), sizeof (address)) != 0
            || ::getsockname (candidate, reinterpret_cast<sockaddr*> (&address), &length) != 0
            || ::connect (candidate, reinterpret_cast<const sockaddr*> (&address), length) != 0)
        {
            ::closesocket (candidate);
            return;
        }

        makeNonBlocking (candidate);
        socket = wrapped (candidate);
    }

    Waker::~Waker()
    {
        if (valid())
            ::closesocket (native (socket));
    }

    void Waker::wake()
    {
        const char one = 1;
        ::send (native (socket), &one, 1, 0);
    }
}
