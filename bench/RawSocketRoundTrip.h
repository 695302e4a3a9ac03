#pragma once

// The reference every round-trip figure is set beside: the same bus message (a 3-byte
// header and a 64-byte report) there and back over a Unix stream socket pair between two
// threads, with nothing else in the path.

#include "devhid/BusProtocol.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace rawSocket
{
    constexpr size_t reportBytes = 64;
    constexpr size_t messageBytes = devhidBus::headerSize + reportBytes;

    inline bool transfer (int socket, uint8_t* bytes, size_t size, bool sending)
    {
        size_t done = 0;
        while (done < size)
        {
            const auto n = sending ? ::send (socket, bytes + done, size - done, MSG_NOSIGNAL)
                                   : ::recv (socket, bytes + done, size - done, 0);
            if (n <= 0)
                return false;
            done += (size_t) n;
        }
        return true;
    }

    // Runs the benchmark loop over the socket pair; `measured` wraps the loop, so that a
    // caller can take figures of its own around exactly the round trips.
    inline void roundTrips (benchmark::State& state,
                            const std::function<void (const std::function<void()>&)>& measured =
                                [] (const std::function<void()>& loop) { loop(); })
    {
        int sockets[2];
        if (::socketpair (AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        {
            state.SkipWithError ("socketpair failed");
            return;
        }

        std::thread echo ([peer = sockets[1]]
        {
            uint8_t message[messageBytes];
            while (transfer (peer, message, messageBytes, false) && transfer (peer, message, messageBytes, true)) {}
        });

        uint8_t message[messageBytes] = { 0x03, (uint8_t) reportBytes, 0, 0xF3 };

        measured ([&]
        {
            for (auto _ : state)
            {
                transfer (sockets[0], message, messageBytes, true);
                transfer (sockets[0], message, messageBytes, false);
            }
        });

        ::shutdown (sockets[0], SHUT_RDWR);
        echo.join();
        ::close (sockets[0]);
        ::close (sockets[1]);

        state.counters["round_trips_per_s"] = benchmark::Counter ((double) state.iterations(), benchmark::Counter::kIsRate);
    }
}
