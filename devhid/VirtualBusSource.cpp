// The virtual HID bus as a device source: listens on the bus's socket (busSocket: a Unix
// socket on Linux, TCP on the loopback on Windows) and turns every connection that says
// HELLO into a device.

#include "devhid/BusProtocol.h"
#include "devhid/BusSocket.h"
#include "devhid/DeviceSource.h"

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace devhid
{
    namespace
    {
        using busSocket::Socket;

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
            explicit BusConnection (Socket s) : socket (s) {}
            ~BusConnection() override { busSocket::close (socket); }

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
                    const auto result = busSocket::send (socket, message.data() + sent, message.size() - sent);

                    if (result > 0)
                    {
                        sent += (size_t) result;
                        continue;
                    }

                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (
                                          deadline - Clock::now()).count();

                    if (result == 0 && left > 0)
                    {
                        busSocket::waitWritable (socket, (int) left);
                        continue;
                    }

                    // A message cut off in the middle would leave the stream unreadable:
                    // end the connection, and the device is removed.
                    if (sent > 0)
                        busSocket::shutdown (socket);

                    return false;
                }

                return true;
            }

            void end() { busSocket::shutdown (socket); }

            const Socket socket;

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

                if (! busSocket::startUp())
                    return false;

                socketsStarted = true;
                waker = std::make_unique<busSocket::Waker>();

                if (! waker->valid())
                {
                    stop();
                    return false;
                }

                sink = &newSink;
                const bool listening = openListener();
                worker = std::thread ([this] { run(); });
                return listening;
            }

            void stop() override
            {
                if (worker.joinable())
                {
                    waker->wake();
                    worker.join();
                }

                for (auto& device : devices)
                    device.connection->end();

                devices.clear();

                if (listener != busSocket::invalid)
                    busSocket::close (listener);

                listener = busSocket::invalid;
                waker.reset();
                sink = nullptr;

                if (socketsStarted)
                    busSocket::cleanUp();

                socketsStarted = false;
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
                listener = busSocket::listen();

                if (listener == busSocket::invalid)
                    retryListenerAt = Clock::now() + std::chrono::milliseconds (listenRetryMs);

                return listener != busSocket::invalid;
            }

            void acceptConnections()
            {
                for (;;)
                {
                    Socket socket = busSocket::invalid;

                    switch (busSocket::accept (listener, socket))
                    {
                        case busSocket::Accepted::none:
                            return;

                        case busSocket::Accepted::outOfDescriptors:
                            pauseAcceptUntil = Clock::now() + std::chrono::milliseconds (listenRetryMs);
                            return;

                        case busSocket::Accepted::refused:
                            continue;

                        case busSocket::Accepted::device:
                            break;
                    }

                    if (devices.size() >= connectionLimit)
                    {
                        busSocket::close (socket);
                        continue;
                    }

                    devices.emplace_back (std::make_shared<BusConnection> (socket), *sink);
                }
            }

            // Reads what one connection has sent; false when the connection has ended.
            bool readFrom (Device& device)
            {
                uint8_t buffer[readChunk];
                const auto count = busSocket::receive (device.connection->socket, buffer, sizeof (buffer));

                if (count == -1)
                    return true;

                if (count <= 0)
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
                std::vector<busSocket::Polled> entries;
                std::vector<std::list<Device>::iterator> polled;

                for (;;)
                {
                    const auto now = Clock::now();

                    if (listener == busSocket::invalid && now >= retryListenerAt)
                        openListener();

                    entries.clear();
                    polled.clear();
                    entries.push_back ({ waker->readable() });

                    const bool acceptNow = listener != busSocket::invalid && now >= pauseAcceptUntil;
                    if (acceptNow)
                        entries.push_back ({ listener });

                    for (auto it = devices.begin(); it != devices.end(); ++it)
                    {
                        entries.push_back ({ it->connection->socket });
                        polled.push_back (it);
                    }

                    const int timeout = (listener == busSocket::invalid || ! acceptNow) ? listenRetryMs : -1;
                    const int ready = busSocket::waitReadable (entries, timeout);

                    if (ready < 0)
                        return;

                    if (ready == 0)
                        continue;

                    if (entries[0].ready)
                        return;

                    const size_t firstDevice = acceptNow ? 2 : 1;

                    if (acceptNow && entries[1].ready)
                        acceptConnections();

                    for (size_t i = firstDevice; i < entries.size(); ++i)
                    {
                        if (! entries[i].ready)
                            continue;

                        auto device = polled[i - firstDevice];

                        if (! readFrom (*device))
                            drop (device);
                    }
                }
            }

            DeviceSink* sink = nullptr;
            Socket listener = busSocket::invalid;
            std::unique_ptr<busSocket::Waker> waker;
            bool socketsStarted = false;
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
