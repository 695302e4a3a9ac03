#pragma once

// A scripted stand-in for libdevhid, linked into the device-link tests in its place: the
// test sets the device list and waiting reports, posts notifications through the target
// the program handed over, and reads back every call the program made.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace scriptedDevHid
{
    struct Device
    {
        int32_t hidNumber = 0;
        int32_t deviceType = 0;
        int32_t firmwareVersion = 0;
        std::deque<std::vector<uint8_t>> inputs;
    };

    struct Write
    {
        int32_t hidNumber;
        std::vector<uint8_t> bytes;
    };

    struct State
    {
        std::vector<Device> devices;            // in the library's order
        std::vector<std::string> calls;         // "HID_Start", "HID_SetCallback(target,1027,1026,1025)", ...
        void* target = nullptr;                 // as last given to HID_SetCallback
        void* instance = nullptr;               // as given to HID_Initialize
        std::vector<int32_t> typeQueries;       // HID numbers asked about, in order
        std::vector<Write> writes;
        bool writeSucceeds = true;

        // Scripted faults of a library: a count beyond the list it was given room for,
        // a length beyond the buffer.
        int32_t enumeratedCount = -1;           // -1: the real count
        int32_t inputLength = -1;               // -1: the real length

        // What HID_Input and HID_GetFirmwareVersion were given.
        bool inputBufferZeroed = true;
        int32_t inputCapacity = 0;
        int32_t versionArguments[4] = {};       // type, versions[0], versions[1], third argument
    };

    // The stand-in's state; reset() before every test. Guarded by lock() where the
    // transfer-thread side (HID_Write) may run at the same time.
    State& state();
    std::mutex& lock();
    void reset();

    Device* find (int32_t hidNumber);
    void remove (int32_t hidNumber);

    // Delivers a notification the way the library does: through the post procedure of the
    // target the program gave to HID_SetCallback. False when there is no target.
    bool post (unsigned int message, unsigned int wParam);
}
