#include "ScriptedDevHid.h"

#include "devhid/devhid.h"

#include <algorithm>
#include <cstring>

namespace scriptedDevHid
{
    State& state()
    {
        static State instance;
        return instance;
    }

    std::mutex& lock()
    {
        static std::mutex instance;
        return instance;
    }

    void reset()
    {
        const std::lock_guard<std::mutex> guard (lock());
        state() = State();
    }

    Device* find (int32_t hidNumber)
    {
        for (auto& device : state().devices)
            if (device.hidNumber == hidNumber)
                return &device;
        return nullptr;
    }

    void remove (int32_t hidNumber)
    {
        auto& devices = state().devices;
        devices.erase (std::remove_if (devices.begin(), devices.end(),
                                       [hidNumber] (const Device& d) { return d.hidNumber == hidNumber; }),
                       devices.end());
    }

    bool post (unsigned int message, unsigned int wParam)
    {
        auto* target = static_cast<HID_NotifyTarget*> (state().target);
        if (target == nullptr || target->post == nullptr)
            return false;
        target->post (target->context, message, wParam);
        return true;
    }

    namespace
    {
        void record (const std::string& call)
        {
            state().calls.push_back (call);
        }
    }
}

using namespace scriptedDevHid;

extern "C"
{
    int32_t HID_Initialize (void* instance)
    {
        state().instance = instance;
        record (instance != nullptr ? "HID_Initialize(instance)" : "HID_Initialize(null)");
        return 1;
    }

    int32_t HID_SetCallback (void* target, int32_t input, int32_t arrival, int32_t removal)
    {
        state().target = target;
        record (std::string ("HID_SetCallback(") + (target != nullptr ? "target" : "null") + ","
                + std::to_string (input) + "," + std::to_string (arrival) + "," + std::to_string (removal) + ")");
        return 1;
    }

    int32_t HID_Start (void) { record ("HID_Start"); return 1; }
    int32_t HID_Stop (void) { record ("HID_Stop"); return 1; }
    int32_t HID_Finalize (void) { record ("HID_Finalize"); return 1; }

    int32_t HID_EnumHIDno (int32_t* hidNumbers)
    {
        record ("HID_EnumHIDno");
        const auto& devices = state().devices;
        const auto count = std::min<size_t> (devices.size(), HID_LIST_CAPACITY);

        for (size_t i = 0; i < count; ++i)
            hidNumbers[i] = devices[i].hidNumber;

        return state().enumeratedCount >= 0 ? state().enumeratedCount : (int32_t) count;
    }

    int32_t HID_GetDeviceType (int32_t hidNumber)
    {
        state().typeQueries.push_back (hidNumber);
        const auto* device = find (hidNumber);
        return device != nullptr ? device->deviceType : -1;
    }

    int32_t HID_GetFirmwareVersion (int32_t deviceType, int32_t* versions, int32_t third)
    {
        auto& arguments = state().versionArguments;
        arguments[0] = deviceType;
        arguments[1] = versions[0];
        arguments[2] = versions[1];
        arguments[3] = third;

        for (const auto& device : state().devices)
        {
            if (device.deviceType == deviceType)
            {
                versions[0] = device.firmwareVersion;
                return 1;
            }
        }

        versions[0] = 0;
        return 0;
    }

    int32_t HID_Input (int32_t hidNumber, uint8_t* buffer, int32_t* length)
    {
        auto& s = state();
        s.inputCapacity = *length;
        s.inputBufferZeroed = std::all_of (buffer, buffer + *length, [] (uint8_t b) { return b == 0; });

        auto* device = find (hidNumber);
        if (device == nullptr || device->inputs.empty())
        {
            *length = s.inputLength >= 0 ? s.inputLength : 0;
            return 0;
        }

        const auto report = device->inputs.front();
        device->inputs.pop_front();
        const auto stored = std::min<size_t> (report.size(), (size_t) *length);
        std::memcpy (buffer, report.data(), stored);
        *length = s.inputLength >= 0 ? s.inputLength : (int32_t) stored;
        return 1;
    }

    int32_t HID_Write (int32_t hidNumber, const uint8_t* data, int32_t length)
    {
        const std::lock_guard<std::mutex> guard (lock());
        state().writes.push_back ({ hidNumber, std::vector<uint8_t> (data, data + length) });
        return state().writeSucceeds && find (hidNumber) != nullptr ? 1 : 0;
    }
}
