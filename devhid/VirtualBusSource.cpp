// The virtual HID bus as a device source: listens on the abstract socket
// "devhid-bus.<uid>" and turns every connection that says HELLO into a device.

#include "devhid/BusProtocol.h"
#include "devhid/DeviceSource.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace devhid
{
    namespace
    {
        // While the bus name is taken, or no descriptor is left for a new connection, the
        // listener is tried again after this pause.
        constexpr int listenRetryMs = 250;

        // Connections beyond this are closed at once (a HID list holds 128 anyway).
        constexpr size_t connectionLimit = 1000;

        constexpr size_t readChunk = 4096;

        using Clock = std::chrono::steady_clock;

        class BusConnection final : public DeviceConnection
        {
        public:
            explicit BusConnection (int descriptor) : socket (descriptor) {}
            ~BusConnection() override { ::close (socket); }

            bool writeReport (const uint8_t* data, size_t size) override
            {
                const auto message = devhidBus::encodeMessage (devhidBus::output, data, size);
                if (message.empty())
                    return false;

                const auto deadline = Clock::now() + std::chrono::milliseconds (writeTimeoutMs);
                WriteTurn turn (*this, deadline);
                if (! turn.granted)
                    return false;

                size_t sent = 0;

                while (sent < message.size())
                {
                    const auto result = ::send (socket, message.data() + sent, message.size() - sent,
                                                MSG_NOSIGNAL | MSG_DONTWAIT);

                    if (result > 0)
                    {
                        sent += (size_t) result;
                        continue;
                    }

                    if (result < 0 && errno == EINTR)
                        continue;

                    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                    {
                        const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (
                                              deadline - Clock::now()).count();

                        if (left > 0)
                        {
                            pollfd entry { socket, POLLOUT, 0 };
                            if (::poll (&entry, 1, (int) left) >= 0 || errno == EINTR)
                                continue;
                        }
                    }

                    // A message cut off in the middle would leave the stream unreadable:
                    // end the connection, and the device is removed.
                    if (sent > 0)
                        ::shutdown (socket, SHUT_RDWR);

                    return false;
                }

                return true;
            }

            void end() { ::shutdown (socket, SHUT_RDWR); }

            const int socket;

        private:
            // One writer at a time, so that messages never interleave; a writer waits for its
            // turn only until its own deadline.
            struct WriteTurn
            {
                WriteTurn (BusConnection& c, Clock::time_point deadline) : connection (c)
                {
                    std::unique_lock<std::mutex> guard (connection.turnLock);
                    granted = connection.turnFree.wait_until (guard, deadline, [this] { return ! connection.writing; });
                    if (granted)
                        connection.writing = true;
                }

                ~WriteTurn()
                {
                    if (! granted)
                        return;
                    {
                        const std::lock_guard<std::mutex> guard (connection.turnLock);
                        connection.writing = false;
                    }
                    connection.turnFree.notify_one();
                }

                BusConnection& connection;
                bool granted = false;
            };

            std::mutex turnLock;
            std::condition_variable turnFree;
            bool writing = false;
        };

        class VirtualBusSource final : public DeviceSource
        {
        public:
            ~VirtualBusSource() override { stop(); }

            bool start (DeviceSink& newSink) override
            {
                stop();

                wake = ::eventfd (0, EFD_CLOEXEC | EFD_NONBLOCK);
                if (wake < 0)
                    return false;

                sink = &newSink;
                const bool listening = openListener();
                worker = std::thread ([this] { run(); });
                return listening;
            }

            void stop() override
            {
                if (worker.joinable())
                {
                    const uint64_t one = 1;
                    [[maybe_unused]] const auto written = ::write (wake, &one, sizeof (one));
                    worker.join();
                }

                for (auto& device : devices)
                    device.connection->end();

                devices.clear();

                if (listener >= 0)
                    ::close (listener);
                if (wake >= 0)
                    ::close (wake);

                listener = -1;
                wake = -1;
                sink = nullptr;
            }

        private:
            struct Device final : devhidBus::MessageReader::Handler
            {
                explicit Device (std::shared_ptr<BusConnection> c, DeviceSink& s)
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

                std::shared_ptr<BusConnection> connection;
                DeviceSink& sink;
                devhidBus::MessageReader reader { devhidBus::Sender::device };
                int32_t hidNumber = -1;
            };

            bool openListener()
            {
                const int candidate = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
                if (candidate < 0)
                    return false;

                sockaddr_un address;
                const auto length = devhidBus::makeAddress (address, devhidBus::socketName (::getuid()));

                if (::bind (candidate, reinterpret_cast<sockaddr*> (&address), length) != 0
                    || ::listen (candidate, SOMAXCONN) != 0)
                {
                    ::close (candidate);
                    retryListenerAt = Clock::now() + std::chrono::milliseconds (listenRetryMs);
                    return false;
                }

                listener = candidate;
                return true;
            }

            void acceptConnections()
            {
                for (;;)
                {
                    const int socket = ::accept4 (listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);

                    if (socket < 0)
                    {
                        if (errno == EINTR || errno == ECONNABORTED)
                            continue;

                        // Out of descriptors: pending connections stay queued until some close.
                        if (errno != EAGAIN && errno != EWOULDBLOCK)
                            pauseAcceptUntil = Clock::now() + std::chrono::milliseconds (listenRetryMs);
                        return;
                    }

                    // Only processes of this user may become devices.
                    ucred peer {};
                    socklen_t peerSize = sizeof (peer);
                    const bool sameUser = ::getsockopt (socket, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) == 0
                                          && peer.uid == ::getuid();

                    if (! sameUser || devices.size() >= connectionLimit)
                    {
                        ::close (socket);
                        continue;
                    }

                    devices.emplace_back (std::make_shared<BusConnection> (socket), *sink);
                }
            }

            // Reads what one connection has sent; false when the connection has ended.
            bool readFrom (Device& device)
            {
                uint8_t buffer[readChunk];
                const auto count = ::recv (device.connection->socket, buffer, sizeof (buffer), 0);

                if (count < 0)
                    return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;

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
                std::vector<pollfd> entries;
                std::vector<std::list<Device>::iterator> polled;

                for (;;)
                {
                    const auto now = Clock::now();

                    if (listener < 0 && now >= retryListenerAt)
                        openListener();

                    entries.clear();
                    polled.clear();
                    entries.push_back ({ wake, POLLIN, 0 });

                    const bool acceptNow = listener >= 0 && now >= pauseAcceptUntil;
                    if (acceptNow)
                        entries.push_back ({ listener, POLLIN, 0 });

                    for (auto it = devices.begin(); it != devices.end(); ++it)
                    {
                        entries.push_back ({ it->connection->socket, POLLIN, 0 });
                        polled.push_back (it);
                    }

                    const int timeout = (listener < 0 || ! acceptNow) ? listenRetryMs : -1;
                    const int ready = ::poll (entries.data(), entries.size(), timeout);

                    if (ready < 0 && errno != EINTR)
                        return;

                    if (ready <= 0)
                        continue;

                    if (entries[0].revents != 0)
                        return;

                    const size_t firstDevice = acceptNow ? 2 : 1;

                    if (acceptNow && entries[1].revents != 0)
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
            int listener = -1;
            int wake = -1;
            std::thread worker;
            std::list<Device> devices;
            Clock::time_point retryListenerAt {};
            Clock::time_point pauseAcceptUntil {};
        };
    }

    std::unique_ptr<DeviceSource> createVirtualBusSource()
    {
        return std::make_unique<VirtualBusSource>();
    }
}
