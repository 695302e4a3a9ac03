#pragma once

// Both ends of the virtual HID bus for tests: a device that speaks the bus byte by byte,
// built here by hand rather than with the project's encoder so that the wire format
// itself is what is checked, and a notification target that records the library's events.

#include "devhid/devhid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace busTest
{
    constexpr unsigned int removal = 1025;
    constexpr unsigned int arrival = 1026;
    constexpr unsigned int input = 1027;

    // Generous: these waits end as soon as the awaited thing happens.
    constexpr int waitMs = 10000;

    inline void appendInt32 (std::vector<uint8_t>& bytes, int32_t value)
    {
        for (int i = 0; i < 4; ++i)
            bytes.push_back ((uint8_t) ((uint32_t) value >> (8 * i)));
    }

    // kind, payload length little-endian, payload.
    inline std::vector<uint8_t> message (uint8_t kind, const std::vector<uint8_t>& payload)
    {
        std::vector<uint8_t> bytes { kind, (uint8_t) (payload.size() & 0xFF), (uint8_t) (payload.size() >> 8) };
        bytes.insert (bytes.end(), payload.begin(), payload.end());
        return bytes;
    }

    inline std::vector<uint8_t> helloPayload (int32_t type, int32_t version, const std::string& name = {})
    {
        std::vector<uint8_t> payload;
        appendInt32 (payload, type);
        appendInt32 (payload, version);
        payload.insert (payload.end(), name.begin(), name.end());
        return payload;
    }

    inline std::vector<uint8_t> hello (int32_t type, int32_t version, const std::string& name = {})
    {
        return message (0x01, helloPayload (type, version, name));
    }

    inline std::vector<uint8_t> inputMessage (const std::vector<uint8_t>& report)
    {
        return message (0x02, report);
    }

    class RawDevice
    {
    public:
        RawDevice() = default;
        ~RawDevice() { close(); }
        RawDevice (const RawDevice&) = delete;
        RawDevice (RawDevice&& other) noexcept : socket (other.socket) { other.socket = -1; }

        // The bus address: one NUL byte, then "devhid-bus.<uid>", no terminating NUL counted.
        bool connect() { return connect (::getuid()); }

        bool connect (unsigned int uid)
        {
            socket = ::socket (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            const auto name = "devhid-bus." + std::to_string (uid);
            std::memcpy (address.sun_path + 1, name.data(), name.size());
            const auto length = (socklen_t) (offsetof (sockaddr_un, sun_path) + 1 + name.size());
            return ::connect (socket, reinterpret_cast<sockaddr*> (&address), length) == 0;
        }

        bool send (const std::vector<uint8_t>& bytes)
        {
            size_t sent = 0;
            while (sent < bytes.size())
            {
                const auto n = ::send (socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return false;
                sent += (size_t) n;
            }
            return true;
        }

        // Reads exactly `count` bytes, or fewer when the connection ends or nothing comes.
        std::vector<uint8_t> receive (size_t count, int timeoutMs = waitMs)
        {
            std::vector<uint8_t> bytes;
            uint8_t buffer[4096];

            while (bytes.size() < count)
            {
                pollfd entry { socket, POLLIN, 0 };
                if (::poll (&entry, 1, timeoutMs) <= 0)
                    break;
                const auto n = ::recv (socket, buffer, std::min (sizeof (buffer), count - bytes.size()), 0);
                if (n <= 0)
                    break;
                bytes.insert (bytes.end(), buffer, buffer + n);
            }

            return bytes;
        }

        // Waits until the library has closed this connection; false when it stays open.
        bool closedByLibrary (int timeoutMs = waitMs)
        {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);
            uint8_t buffer[4096];

            while (std::chrono::steady_clock::now() < deadline)
            {
                pollfd entry { socket, POLLIN, 0 };
                if (::poll (&entry, 1, 50) <= 0)
                    continue;
                const auto n = ::recv (socket, buffer, sizeof (buffer), MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    return true;
            }

            return false;
        }

        void close()
        {
            if (socket >= 0)
                ::close (socket);
            socket = -1;
        }

        int socket = -1;
    };

    struct Event
    {
        unsigned int message;
        unsigned int hidNumber;
        bool operator== (const Event& other) const { return message == other.message && hidNumber == other.hidNumber; }
    };

    inline std::ostream& operator<< (std::ostream& out, const Event& e)
    {
        const char* name = e.message == removal ? "removal" : e.message == arrival ? "arrival"
                         : e.message == input ? "input" : "?";
        return out << name << "(" << e.hidNumber << ")";
    }

    // Records what the library posts, from its own thread.
    class EventLog
    {
    public:
        EventLog() : target { &EventLog::post, this } {}

        static void post (void* context, unsigned int message, unsigned int wParam)
        {
            auto* log = static_cast<EventLog*> (context);
            {
                const std::lock_guard<std::mutex> guard (log->lock);
                log->events.push_back ({ message, wParam });
            }
            log->changed.notify_all();
        }

        // Waits until at least `count` events have come; returns them all.
        std::vector<Event> waitFor (size_t count, int timeoutMs = waitMs)
        {
            std::unique_lock<std::mutex> guard (lock);
            changed.wait_for (guard, std::chrono::milliseconds (timeoutMs), [&] { return events.size() >= count; });
            return events;
        }

        std::vector<Event> snapshot()
        {
            const std::lock_guard<std::mutex> guard (lock);
            return events;
        }

        void clear()
        {
            const std::lock_guard<std::mutex> guard (lock);
            events.clear();
        }

        HID_NotifyTarget target;

    private:
        std::mutex lock;
        std::condition_variable changed;
        std::vector<Event> events;
    };

    // The library running with an EventLog as its notification target.
    class BusLibrary : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            HID_Initialize (nullptr);
            HID_SetCallback (&log.target, (int32_t) input, (int32_t) arrival, (int32_t) removal);
            ASSERT_EQ (HID_Start(), 1) << "another process listens on devhid-bus." << ::getuid();
        }

        void TearDown() override
        {
            HID_Stop();
            HID_SetCallback (nullptr, 0, 0, 0);
            HID_Finalize();
        }

        // Connects a device and waits for its arrival; returns its HID number, or -1.
        int attach (RawDevice& device, int32_t type, int32_t version, const std::string& name = {})
        {
            const auto before = log.snapshot().size();
            if (! device.connect() || ! device.send (hello (type, version, name)))
                return -1;
            const auto events = log.waitFor (before + 1);
            if (events.size() <= before || events[before].message != arrival)
                return -1;
            return (int) events[before].hidNumber;
        }

        std::vector<int32_t> listed()
        {
            int32_t numbers[HID_LIST_CAPACITY];
            const auto count = HID_EnumHIDno (numbers);
            return std::vector<int32_t> (numbers, numbers + count);
        }

        std::vector<uint8_t> takeInput (int32_t hidNumber, int32_t capacity = HID_REPORT_CAPACITY)
        {
            std::vector<uint8_t> buffer ((size_t) std::max (capacity, 1));
            int32_t length = capacity;
            HID_Input (hidNumber, buffer.data(), &length);
            buffer.resize ((size_t) std::max (length, 0));
            return buffer;
        }

        EventLog log;
    };
}
