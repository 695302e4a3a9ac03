// The C functions of libdevhid over the device registry and the virtual HID bus.

#include "devhid/DeviceRegistry.h"
#include "devhid/DeviceSource.h"
#include "devhid/devhid.h"

#include <mutex>

#if defined (_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#endif

namespace
{
    struct Library
    {
        ~Library()
        {
            const std::lock_guard<std::mutex> lifecycle (lifecycleLock);
            stopLocked();
        }

        void stopLocked()
        {
            if (source != nullptr)
            {
                source->stop();
                source.reset();
                registry.endSession();
            }
        }

        // Start, Stop and Finalize one at a time; the other calls only touch the registry.
        std::mutex lifecycleLock;
        devhid::DeviceRegistry registry;
        std::unique_ptr<devhid::DeviceSource> source;
    };

    Library& library()
    {
        static Library instance;
        return instance;
    }

#if defined (_WIN32)
    // The library's messages go to the program's window as posted window messages, so that
    // they arrive on the thread that owns the window, in the order they were posted.
    void postToWindow (void* window, unsigned int message, unsigned int wParam)
    {
        ::PostMessageA (static_cast<HWND> (window), message, (WPARAM) wParam, 0);
    }
#endif
}

extern "C"
{
    DEVHID_API int32_t HID_Initialize (void*)
    {
        library();
        return 1;
    }

    DEVHID_API int32_t HID_SetCallback (void* target, int32_t inputMessage,
                                        int32_t arrivalMessage, int32_t removalMessage)
    {
#if defined (_WIN32)
        const HID_NotifyTarget window { postToWindow, target };
        library().registry.setTarget (target != nullptr ? &window : nullptr,
                                      inputMessage, arrivalMessage, removalMessage);
#else
        library().registry.setTarget (static_cast<const HID_NotifyTarget*> (target),
                                      inputMessage, arrivalMessage, removalMessage);
#endif
        return 1;
    }

    DEVHID_API int32_t HID_Start (void)
    {
        auto& lib = library();
        const std::lock_guard<std::mutex> lifecycle (lib.lifecycleLock);
        lib.stopLocked();
        lib.registry.beginSession();
        lib.source = devhid::createVirtualBusSource();
        return lib.source->start (lib.registry) ? 1 : 0;
    }

    DEVHID_API int32_t HID_Stop (void)
    {
        auto& lib = library();
        const std::lock_guard<std::mutex> lifecycle (lib.lifecycleLock);
        lib.stopLocked();
        return 1;
    }

    DEVHID_API int32_t HID_Finalize (void)
    {
        auto& lib = library();
        {
            const std::lock_guard<std::mutex> lifecycle (lib.lifecycleLock);
            lib.stopLocked();
        }
        lib.registry.setTarget (nullptr, 0, 0, 0);
        return 1;
    }

    DEVHID_API int32_t HID_EnumHIDno (int32_t* hidNumbers)
    {
        return library().registry.enumerate (hidNumbers, HID_LIST_CAPACITY);
    }

    DEVHID_API int32_t HID_GetDeviceType (int32_t hidNumber)
    {
        return library().registry.deviceType (hidNumber);
    }

    DEVHID_API int32_t HID_GetFirmwareVersion (int32_t deviceType, int32_t* versions, int32_t)
    {
        int32_t version = 0;
        const bool found = library().registry.firmwareVersionOfType (deviceType, version);

        if (versions != nullptr)
        {
            versions[0] = version;
            versions[1] = 0;
        }

        return found ? 1 : 0;
    }

    DEVHID_API int32_t HID_Input (int32_t hidNumber, uint8_t* buffer, int32_t* length)
    {
        if (length == nullptr)
            return 0;

        *length = library().registry.takeInput (hidNumber, buffer, *length);
        return *length > 0 ? 1 : 0;
    }

    DEVHID_API int32_t HID_Write (int32_t hidNumber, const uint8_t* data, int32_t length)
    {
        if (data == nullptr || length <= 0 || length > HID_REPORT_CAPACITY)
            return 0;

        const auto connection = library().registry.connection (hidNumber);
        return connection != nullptr && connection->writeReport (data, (size_t) length) ? 1 : 0;
    }
}
