#include "devhid/BusDevice.h"

#include <cerrno>
#include <chrono>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace devhidBus
{
    struct BusDevice::Collector : MessageReader::Handler
    {
        explicit Collector (std::deque<std::vector<uint8_t>>& q) : queue (q) {}

        bool message (MessageKind, const uint8_t* payload, size_t size) override
        {
            queue.emplace_back (payload, payload + size);
            return true;
        }

        std::deque<std::vector<uint8_t>>& queue;
    };

    BusDevice::~BusDevice()
    {
        disconnect();
    }

    bool BusDevice::connect (const Hello& hello)
    {
        return connect (hello, socketName (::getuid()));
    }

    bool BusDevice::connect (const Hello& hello, const std::string& busName)
    {
        disconnect();

        const int candidate = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (candidate < 0)
            return false;

        sockaddr_un address;
        const auto length = makeAddress (address, busName);

        if (::connect (candidate, reinterpret_cast<sockaddr*> (&address), length) != 0)
        {
            ::close (candidate);
            return false;
        }

        return greet (candidate, hello);
    }

    bool BusDevice::connectTcp (const Hello& hello, uint16_t port)
    {
        disconnect();

        const int candidate = ::socket (AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (candidate < 0)
            return false;

        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons (port);
        address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);

        if (::connect (candidate, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0)
        {
            ::close (candidate);
            return false;
        }

        // Reports go back and forth one at a time: without this each small answer would
        // wait for the other side's delayed acknowledgement.
        const int on = 1;
        ::setsockopt (candidate, IPPROTO_TCP, TCP_NODELAY, &on, sizeof (on));

        return greet (candidate, hello);
    }

    bool BusDevice::greet (int connected, const Hello& hello)
    {
        socket = connected;
        reader = MessageReader (Sender::library);
        waiting.clear();

        if (! sendAll (encodeHello (hello)))
        {
            disconnect();
            return false;
        }

        return true;
    }

    void BusDevice::disconnect()
    {
        if (socket >= 0)
            ::close (socket);

        socket = -1;
    }

    bool BusDevice::sendAll (const std::vector<uint8_t>& message)
    {
        if (socket < 0 || message.empty())
            return false;

        size_t sent = 0;

        while (sent < message.size())
        {
            const auto result = ::send (socket, message.data() + sent, message.size() - sent, MSG_NOSIGNAL);

            if (result < 0 && errno == EINTR)
                continue;

            if (result <= 0)
                return false;

            sent += (size_t) result;
        }

        return true;
    }

    bool BusDevice::sendInput (const uint8_t* report, size_t size)
    {
        return sendAll (encodeMessage (input, report, size));
    }

    BusDevice::Received BusDevice::receiveOutput (std::vector<uint8_t>& report, int timeoutMs)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds (timeoutMs < 0 ? 0 : timeoutMs);

        for (;;)
        {
            if (! waiting.empty())
            {
                report = std::move (waiting.front());
                waiting.pop_front();
                return Received::report;
            }

            if (socket < 0)
                return Received::closed;

            int wait = -1;
            if (timeoutMs >= 0)
            {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
                wait = left > 0 ? (int) left : 0;
            }

            pollfd entry { socket, POLLIN, 0 };
            const int ready = ::poll (&entry, 1, wait);

            if (ready < 0 && errno == EINTR)
                continue;

            if (ready == 0)
                return Received::timeout;

            uint8_t buffer[4096];
            const auto count = ::recv (socket, buffer, sizeof (buffer), 0);

            if (count < 0 && (errno == EINTR || errno == EAGAIN))
                continue;

            Collector collector (waiting);

            if (count <= 0 || ! reader.receive (buffer, (size_t) count, collector))
            {
                disconnect();

                // Reports that came in full before the end are still handed out.
                if (waiting.empty())
                    return Received::closed;
            }
        }
    }
}
