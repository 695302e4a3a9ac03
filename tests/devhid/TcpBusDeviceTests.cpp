// The device's end of the TCP bus, as kvx-devsim --tcp uses it to play the controller for
// the Windows library under Wine: against a loopback listener of the test's own, on a port
// the system picks, so that it never meets a real bus.

#include "BusTestSupport.h"

#include "devhid/BusDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace devhidBus;

namespace
{
    struct LoopbackListener
    {
        LoopbackListener()
        {
            socket = ::socket (AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl (INADDR_LOOPBACK);
            socklen_t length = sizeof (address);
            if (::bind (socket, reinterpret_cast<sockaddr*> (&address), length) == 0
                && ::listen (socket, 4) == 0
                && ::getsockname (socket, reinterpret_cast<sockaddr*> (&address), &length) == 0)
                port = ntohs (address.sin_port);
        }

        ~LoopbackListener()
        {
            if (peer >= 0)
                ::close (peer);
            ::close (socket);
        }

        bool accept()
        {
            peer = ::accept4 (socket, nullptr, nullptr, SOCK_CLOEXEC);
            return peer >= 0;
        }

        // Reads exactly `count` bytes, waiting at most two seconds for them.
        std::vector<uint8_t> read (size_t count)
        {
            std::vector<uint8_t> bytes;
            while (bytes.size() < count)
            {
                pollfd entry { peer, POLLIN, 0 };
                if (::poll (&entry, 1, 2000) <= 0)
                    break;
                uint8_t buffer[512];
                const auto got = ::recv (peer, buffer, std::min (sizeof (buffer), count - bytes.size()), 0);
                if (got <= 0)
                    break;
                bytes.insert (bytes.end(), buffer, buffer + got);
            }
            return bytes;
        }

        int socket = -1;
        int peer = -1;
        uint16_t port = 0;
    };
}

TEST (TcpBusDevice, SaysHelloAndCarriesReportsBothWaysWithoutDelay)
{
    LoopbackListener library;
    ASSERT_NE (library.port, 0);

    BusDevice device;
    const Hello hello { 13, 123, "KVX-70 (virtual)" };
    ASSERT_TRUE (device.connectTcp (hello, library.port));
    ASSERT_TRUE (library.accept());

    const auto expectedHello = encodeHello (hello);
    EXPECT_EQ (library.read (expectedHello.size()), expectedHello);

    // Reports go one at a time each way: Nagle's delay would cost every one of them.
    int noDelay = 0;
    socklen_t size = sizeof (noDelay);
    ASSERT_EQ (::getsockopt (device.descriptor(), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_NE (noDelay, 0);

    const uint8_t report[64] = { 0xF1, 0x02 };
    const auto outputMessage = encodeMessage (output, report, sizeof (report));
    ASSERT_EQ (::send (library.peer, outputMessage.data(), outputMessage.size(), 0), (ssize_t) outputMessage.size());

    std::vector<uint8_t> received;
    ASSERT_EQ (device.receiveOutput (received, 2000), BusDevice::Received::report);
    EXPECT_EQ (received, std::vector<uint8_t> (report, report + sizeof (report)));

    const uint8_t answer[2] = { 0xF8, 0x00 };
    ASSERT_TRUE (device.sendInput (answer, sizeof (answer)));
    EXPECT_EQ (library.read (headerSize + 2), busTest::inputMessage ({ 0xF8, 0x00 }));
}

TEST (TcpBusDevice, FailsWhenNoLibraryListens)
{
    uint16_t freePort = 0;
    {
        LoopbackListener closedAgain;
        freePort = closedAgain.port;
    }

    BusDevice device;
    EXPECT_FALSE (device.connectTcp ({ 13, 100, {} }, freePort));
    EXPECT_FALSE (device.isConnected());
}
