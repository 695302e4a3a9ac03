// The virtual HID bus on Windows: listens on TCP 127.0.0.1:tcpPort and turns every
// connection that says HELLO into a device, with the same messages as the Unix socket bus
// on Linux. Only the loopback address is bound, so only programs on this machine can
// become devices.

#include "devhid/BusProtocol.h"
#include "devhid/DeviceSource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

namespace devhid
{
    namespace
    {
        // While the port is taken the listener is tried again after this pause; the worker
        // also looks at its stop request this often.
        constexpr int listenRetryMs = 250;
        constexpr int stopCheckMs = 50;

        // Connections beyond this are closed at once (a HID list holds 128 anyway).
        constexpr size_t connectionLimit = 1000;

        constexpr size_t readChunk = 4096;

        using Clock = std::chrono::steady_clock;

        bool wouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }

        void makeNonBlocking (SOCKET socket)
        {
            u_long on = 1;
            ::ioctlsocket (socket, FIONBIO, &on);
        }

        // Reports go back and forth one at a time: without this every small message would
        // wait for the other side's delayed acknowledgement.
        void sendAtOnce (SOCKET socket)
        {
            const BOOL on = TRUE;
            ::setsockopt (socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*> (&on), sizeof (on));
        }

        class TcpConnection final : public DeviceConnection
        {
        public:
            explicit TcpConnection (SOCKET s) : socket (s) {}
            ~TcpConnection() override { ::closesocket (socket); }

            bool writeReport (const uint8_t* data, size_t size) override
            {
                const auto message = devhidBus::encodeMessage (devhidBus::output, data, size);
                if (message.empty())
                    return false;

                const auto deadline = Clock::now() + std::chrono::milliseconds (writeTimeoutMs);

                // One writer at a time, so that messages never interleave; a writer waits for
                // its turn only until its own deadline.
                std::unique_lock<std::mutex> turn (writeLock, std::defer_lock);
                while (! turn.try_lock())
                {
                    if (Clock::now() >= deadline)
                        return false;
                    std::this_thread::sleep_for (std::chrono::milliseconds (1));
                }

                size_t sent = 0;

                while (sent < message.size())
                {
                    const int result = ::send (socket, reinterpret_cast<const char*> (message.data() + sent),
                                               (int) (message.size() - sent), 0);

                    if (result > 0)
                    {
                        sent += (size_t) result;
                        continue;
                    }

                    if (result < 0 && wouldBlock())
                    {
                        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (
                                              deadline - Clock::now()).count();

                        if (left > 0)
                        {
                            WSAPOLLFD entry { socket, POLLWRNORM, 0 };
                            if (::WSAPoll (&entry, 1, (INT) left) >= 0)
                                continue;
                        }
                    }

                    // A message cut off in the middle would leave the stream unreadable:
                    // end the connection, and the device is removed.
                    if (sent > 0)
                        ::shutdown (socket, SD_BOTH);

                    return false;
                }

                return true;
            }

            void end() { ::shutdown (socket, SD_BOTH); }

            const SOCKET socket;

        private:
            std::mutex writeLock;
        };

        class TcpBusSource final : public DeviceSource
        {
        public:
            ~TcpBusSource() override { stop(); }

            bool start (DeviceSink& newSink) override
            {
                stop();

                WSADATA data {};
                if (::WSAStartup (MAKEWORD (2, 2), &data) != 0)
                    return false;

                winsockStarted = true;
                sink = &newSink;
                stopping = false;
                const bool listening = openListener();
                worker = std::thread ([this] { run(); });
                return listening;
            }

            void stop() override
            {
                if (worker.joinable())
                {
                    stopping = true;
                    worker.join();
                }

                for (auto& device : devices)
                    device.connection->end();

                devices.clear();

                if (listener != INVALID_SOCKET)
                    ::closesocket (listener);

                listener = INVALID_SOCKET;
                sink = nullptr;

                if (winsockStarted)
                    ::WSACleanup();

                winsockStarted = false;
            }

        private:
            struct Device final : devhidBus::MessageReader::Handler
            {
                explicit Device (std::shared_ptr<TcpConnection> c, DeviceSink& s)
                    : connection (std::move (c)), sink (s) {}

                bool message (devhidBus::MessageKind kind, const uint8_t* payload, size_t size) override
                {
                    if (kind == devhidBus::hello)
                    {
                        const auto hello = devhidBus::decodeHello (payload, size);
                        hidNumber = sink.attach (connection, { hello.deviceType, hello.firmwareVersion,
                                                               hello.productName });
                        return hidNumber >= 0;
                    }

                    return sink.input (hidNumber, payload, size);
                }

                std::shared_ptr<TcpConnection> connection;
                DeviceSink& sink;
                devhidBus::MessageReader reader { devhidBus::Sender::device };
                int32_t hidNumber = -1;
            };

            bool openListener()
            {
                const SOCKET candidate = ::socket (AF_INET, SOCK_STREAM, IPPROTO_TCP);
                if (candidate == INVALID_SOCKET)
                    return false;

                // Without this a second program could bind the same port beside us.
                const BOOL exclusive = TRUE;
                ::setsockopt (candidate, SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                              reinterpret_cast<const char*> (&exclusive), sizeof (exclusive));

                sockaddr_in address {};
                address.sin_family = AF_INET;
                address.sin_port = ::htons (devhidBus::tcpPort);
                address.sin_addr.s_addr = ::htonl (INADDR_LOOPBACK);

                if (::bind (candidate, reinterpret_cast<sockaddr*> (&address), sizeof (address)) != 0
                    || ::listen (candidate, SOMAXCONN) != 0)
                {
                    ::closesocket (candidate);
                    retryListenerAt = Clock::now() + std::chrono::milliseconds (listenRetryMs);
                    return false;
                }

                makeNonBlocking (candidate);
                listener = candidate;
                return true;
            }

            void acceptConnections()
            {
                for (;;)
                {
                    const SOCKET socket = ::accept (listener, nullptr, nullptr);

                    if (socket == INVALID_SOCKET)
                        return;

                    if (devices.size() >= connectionLimit)
                    {
                        ::closesocket (socket);
                        continue;
                    }

                    makeNonBlocking (socket);
                    sendAtOnce (socket);
                    devices.emplace_back (std::make_shared<TcpConnection> (socket), *sink);
                }
            }

            // Reads what one connection has sent; false when the connection has ended.
            bool readFrom (Device& device)
            {
                uint8_t buffer[readChunk];
                const int count = ::recv (device.connection->socket, reinterpret_cast<char*> (buffer),
                                          (int) sizeof (buffer), 0);

                if (count < 0)
                    return wouldBlock();

                if (count == 0)
                    return false;

                return device.reader.receive (buffer, (size_t) count, device);
            }

            void drop (std::list<Device>::iterator device)
            {
                device->connection->end();

                if (device->hidNumber >= 0)
                    sink->detach (device->hidNumber);

                devices.erase (device);
            }

            void run()
            {
                std::vector<WSAPOLLFD> entries;
                std::vector<std::list<Device>::iterator> polled;

                while (! stopping)
                {
                    if (listener == INVALID_SOCKET && Clock::now() >= retryListenerAt)
                        openListener();

                    entries.clear();
                    polled.clear();

                    const bool listening = listener != INVALID_SOCKET;
                    if (listening)
                        entries.push_back ({ listener, POLLRDNORM, 0 });

                    for (auto it = devices.begin(); it != devices.end(); ++it)
                    {
                        entries.push_back ({ it->connection->socket, POLLRDNORM, 0 });
                        polled.push_back (it);
                    }

                    if (entries.empty())
                    {
                        std::this_thread::sleep_for (std::chrono::milliseconds (stopCheckMs));
                        continue;
                    }

                    const int ready = ::WSAPoll (entries.data(), (ULONG) entries.size(), stopCheckMs);

                    if (ready <= 0 || stopping)
                        continue;

                    const size_t firstDevice = listening ? 1 : 0;

                    if (listening && entries[0].revents != 0)
                        acceptConnections();

                    for (size_t i = firstDevice; i < entries.size(); ++i)
                    {
                        if (entries[i].revents == 0)
                            continue;

                        auto device = polled[i - firstDevice];

                        if (! readFrom (*device))
                            drop (device);
                    }
                }
            }

            DeviceSink* sink = nullptr;
            SOCKET listener = INVALID_SOCKET;
            bool winsockStarted = false;
            std::atomic<bool> stopping { false };
            std::thread worker;
            std::list<Device> devices;
            Clock::time_point retryListenerAt {};
        };
    }

    std::unique_ptr<DeviceSource> createVirtualBusSource()
    {
        return std::make_unique<TcpBusSource>();
    }
}
