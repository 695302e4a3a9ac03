#pragma once

// The device's end of the virtual HID bus: what kvx-devsim and the benchmark use to play
// a HID device. Single-threaded; one object is one connection at a time.

#include "devhid/BusProtocol.h"

#include <deque>
#include <string>
#include <vector>

namespace devhidBus
{
    class BusDevice
    {
    public:
        BusDevice() = default;
        ~BusDevice();

        BusDevice (const BusDevice&) = delete;
        BusDevice& operator= (const BusDevice&) = delete;

        // Connects to the bus of this process's real user and says HELLO. False when no
        // library listens there (or the HELLO cannot be written).
        bool connect (const Hello& hello);

        // Same, on a bus of another name (tests).
        bool connect (const Hello& hello, const std::string& busName);

        // Same, on the TCP bus of a Windows library on this machine (127.0.0.1:port), such
        // as the updater running under Wine.
        bool connectTcp (const Hello& hello, uint16_t port = tcpPort);

        // Leaves the bus; the library then reports the device's removal.
        void disconnect();

        bool isConnected() const { return socket >= 0; }

        // Sends one input report of 1 to 256 bytes. False when it does not fit or the
        // connection is gone.
        bool sendInput (const uint8_t* report, size_t size);

        enum class Received { report, timeout, closed };

        // Waits up to timeoutMs (negative: without limit) for the next OUTPUT report.
        // `closed` when the library closed the connection or broke the bus rules; the
        // device is then disconnected.
        Received receiveOutput (std::vector<uint8_t>& report, int timeoutMs);

        int descriptor() const { return socket; }

    private:
        struct Collector;
        bool greet (int connected, const Hello& hello);
        bool sendAll (const std::vector<uint8_t>& message);

        int socket = -1;
        MessageReader reader { Sender::library };
        std::deque<std::vector<uint8_t>> waiting;
    };
}
