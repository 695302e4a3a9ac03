#pragma once

// The library's own state behind the C functions: the attached devices in HID-number
// order, their waiting input reports and the notification target.

#include "devhid/DeviceSource.h"
#include "devhid/devhid.h"

#include <deque>
#include <map>
#include <mutex>
#include <vector>

namespace devhid
{
    class DeviceRegistry final : public DeviceSink
    {
    public:
        void setTarget (const HID_NotifyTarget* target, int32_t inputMessage,
                        int32_t arrivalMessage, int32_t removalMessage);

        // Opens a session: notifications flow and HID numbers count from 1 again.
        void beginSession();

        // Closes it: no more notifications, every device and waiting report dropped.
        void endSession();

        int32_t enumerate (int32_t* hidNumbers, int32_t capacity) const;
        int32_t deviceType (int32_t hidNumber) const;
        bool firmwareVersionOfType (int32_t deviceType, int32_t& version) const;
        int32_t takeInput (int32_t hidNumber, uint8_t* buffer, int32_t capacity);
        std::shared_ptr<DeviceConnection> connection (int32_t hidNumber) const;

        int32_t attach (std::shared_ptr<DeviceConnection> connection,
                        const DeviceDescription& description) override;
        bool input (int32_t hidNumber, const uint8_t* report, size_t size) override;
        void detach (int32_t hidNumber) override;

    private:
        struct Device
        {
            std::shared_ptr<DeviceConnection> connection;
            DeviceDescription description;
            std::deque<std::vector<uint8_t>> inputs;
        };

        // Called with notifyLock held, after the change it announces.
        void post (int32_t message, int32_t hidNumber);

        // Serialises each change of the list with its notification, so that the program sees
        // the notifications in the order of the changes, and lets HID_SetCallback wait out a
        // notification in progress. Taken before stateLock, never after.
        std::mutex notifyLock;
        HID_NotifyTarget target {};
        int32_t inputMessage = 0, arrivalMessage = 0, removalMessage = 0;
        bool inSession = false;

        mutable std::mutex stateLock;
        std::map<int32_t, Device> devices;   // ordered by HID number
        int32_t nextHidNumber = 1;
    };
}
