#include "devhid/DeviceRegistry.h"

#include "devhid/BusProtocol.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace devhid
{
    void DeviceRegistry::setTarget (const HID_NotifyTarget* newTarget, int32_t input,
                                    int32_t arrival, int32_t removal)
    {
        const std::lock_guard<std::mutex> notifying (notifyLock);

        if (newTarget != nullptr && newTarget->post != nullptr)
            target = *newTarget;
        else
            target = {};

        inputMessage = input;
        arrivalMessage = arrival;
        removalMessage = removal;
    }

    void DeviceRegistry::beginSession()
    {
        const std::lock_guard<std::mutex> notifying (notifyLock);
        const std::lock_guard<std::mutex> state (stateLock);
        devices.clear();
        nextHidNumber = 1;
        inSession = true;
    }

    void DeviceRegistry::endSession()
    {
        std::map<int32_t, Device> dropped;

        {
            const std::lock_guard<std::mutex> notifying (notifyLock);
            const std::lock_guard<std::mutex> state (stateLock);
            inSession = false;
            dropped.swap (devices);
        }
        // The connections close here, outside the locks.
    }

    void DeviceRegistry::post (int32_t message, int32_t hidNumber)
    {
        if (inSession && target.post != nullptr && message != 0)
            target.post (target.context, (unsigned int) message, (unsigned int) hidNumber);
    }

    int32_t DeviceRegistry::enumerate (int32_t* hidNumbers, int32_t capacity) const
    {
        if (hidNumbers == nullptr || capacity <= 0)
            return 0;

        const std::lock_guard<std::mutex> state (stateLock);
        int32_t count = 0;

        for (const auto& entry : devices)
        {
            if (count == capacity)
                break;
            hidNumbers[count++] = entry.first;
        }

        return count;
    }

    int32_t DeviceRegistry::deviceType (int32_t hidNumber) const
    {
        const std::lock_guard<std::mutex> state (stateLock);
        const auto found = devices.find (hidNumber);
        return found == devices.end() ? -1 : found->second.description.deviceType;
    }

    bool DeviceRegistry::firmwareVersionOfType (int32_t type, int32_t& version) const
    {
        const std::lock_guard<std::mutex> state (stateLock);

        for (const auto& entry : devices)
        {
            if (entry.second.description.deviceType == type)
            {
                version = entry.second.description.firmwareVersion;
                return true;
            }
        }

        version = 0;
        return false;
    }

    int32_t DeviceRegistry::takeInput (int32_t hidNumber, uint8_t* buffer, int32_t capacity)
    {
        if (buffer == nullptr || capacity <= 0)
            return 0;

        std::vector<uint8_t> report;

        {
            const std::lock_guard<std::mutex> state (stateLock);
            const auto found = devices.find (hidNumber);

            if (found == devices.end() || found->second.inputs.empty())
                return 0;

            report = std::move (found->second.inputs.front());
            found->second.inputs.pop_front();
        }

        const auto stored = std::min ((size_t) capacity, report.size());
        std::memcpy (buffer, report.data(), stored);
        return (int32_t) stored;
    }

    std::shared_ptr<DeviceConnection> DeviceRegistry::connection (int32_t hidNumber) const
    {
        const std::lock_guard<std::mutex> state (stateLock);
        const auto found = devices.find (hidNumber);
        return found == devices.end() ? nullptr : found->second.connection;
    }

    int32_t DeviceRegistry::attach (std::shared_ptr<DeviceConnection> newConnection,
                                    const DeviceDescription& description)
    {
        const std::lock_guard<std::mutex> notifying (notifyLock);
        int32_t hidNumber;

        {
            const std::lock_guard<std::mutex> state (stateLock);

            // HID numbers are never reused while the library runs; the last one is refused
            // rather than wrapped around.
            if (nextHidNumber == std::numeric_limits<int32_t>::max())
                return -1;

            hidNumber = nextHidNumber++;
            auto& device = devices[hidNumber];
            device.connection = std::move (newConnection);
            device.description = description;
        }

        post (arrivalMessage, hidNumber);
        return hidNumber;
    }

    bool DeviceRegistry::input (int32_t hidNumber, const uint8_t* report, size_t size)
    {
        const std::lock_guard<std::mutex> notifying (notifyLock);

        {
            const std::lock_guard<std::mutex> state (stateLock);
            const auto found = devices.find (hidNumber);

            if (found == devices.end())
                return false;

            if (found->second.inputs.size() >= devhidBus::inputQueueCapacity)
                return false;

            found->second.inputs.emplace_back (report, report + size);
        }

        post (inputMessage, hidNumber);
        return true;
    }

    void DeviceRegistry::detach (int32_t hidNumber)
    {
        Device dropped;
        const std::lock_guard<std::mutex> notifying (notifyLock);

        {
            const std::lock_guard<std::mutex> state (stateLock);
            const auto found = devices.find (hidNumber);

            if (found == devices.end())
                return;

            dropped = std::move (found->second);
            devices.erase (found);
        }

        post (removalMessage, hidNumber);
    }
}
