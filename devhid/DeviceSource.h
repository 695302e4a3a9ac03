#pragma once

// Where the library's devices come from. The library keeps the device list, the HID
// numbers, the input queues and the notifications; a source only finds devices, carries
// their reports and says when they go. The virtual HID bus is one source; a hidraw source
// for real hardware would be another, with nothing above this interface changing.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace devhid
{
    struct DeviceDescription
    {
        int32_t deviceType = 0;
        int32_t firmwareVersion = 0;   // major × 100 + minor
        std::string productName;
    };

    // One attached device as the library writes to it. Shared between the source and the
    // library, so that a write in progress keeps it alive while the source drops it.
    class DeviceConnection
    {
    public:
        virtual ~DeviceConnection() = default;

        // Sends one output report; callable from any thread. Must give up within
        // writeTimeoutMs (below) when the device does not take the report.
        virtual bool writeReport (const uint8_t* data, size_t size) = 0;
    };

    // What a source tells the library. A source calls it from one thread at a time.
    class DeviceSink
    {
    public:
        // A device has introduced itself; returns its new HID number.
        virtual int32_t attach (std::shared_ptr<DeviceConnection> connection,
                                const DeviceDescription& description) = 0;

        // One input report of an attached device. False when its queue is full: the source
        // must then drop the device.
        virtual bool input (int32_t hidNumber, const uint8_t* report, size_t size) = 0;

        // An attached device has gone.
        virtual void detach (int32_t hidNumber) = 0;

    protected:
        ~DeviceSink() = default;
    };

    class DeviceSource
    {
    public:
        virtual ~DeviceSource() = default;

        // Starts finding devices and reporting them to `sink`. Returns false when the
        // source cannot find devices yet (it may keep trying in the background).
        virtual bool start (DeviceSink& sink) = 0;

        // Stops; when it returns the sink is not called any more and every connection the
        // source made is closed (writes in progress fail).
        virtual void stop() = 0;
    };

    // A write that the device does not take within this time fails; keeps HID_Write from
    // ever hanging the transfer thread on a device that stopped reading.
    constexpr int writeTimeoutMs = 500;

    std::unique_ptr<DeviceSource> createVirtualBusSource();
}
