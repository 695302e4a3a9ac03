#pragma once

// The layer directly on the HID library: the hidden callback window that receives its
// notifications, and the HID number of the one open device of the wanted type.

#include "device/CallbackWindow.h"
#include "device/HidHandler.h"

#include <atomic>
#include <cstdint>

// Device type codes by device index: 0 for an invalid package (finds nothing real), 13 for
// the KVX-70.
inline constexpr int deviceTypeTable[] = { 0, 13 };

class HidUtil
{
public:
    // The library's notification messages, as given to HID_SetCallback.
    static constexpr unsigned int removalMessage = 1025;
    static constexpr unsigned int arrivalMessage = 1026;
    static constexpr unsigned int inputMessage = 1027;

    static constexpr const char* windowClassName = "HID_WINDOW_CALLBACK";

    // HID_EnumHIDno is given room for this many numbers.
    static constexpr int hidListCapacity = 128;

    HidUtil() = default;
    virtual ~HidUtil();

    HidUtil (const HidUtil&) = delete;
    HidUtil& operator= (const HidUtil&) = delete;

    bool open (HidHandler* handler, int deviceIndex);
    void close();

    bool findDevice();
    bool releaseDevice();
    int readFirmwareVersion();
    int readInput (uint8_t* buffer, int size);

    // Called on the transfer thread.
    bool write (const uint8_t* data, int length);

    // The one open HidUtil, the window procedure's only way to it; null when none.
    static HidUtil* current;

    HidHandler* handler = nullptr;
    int deviceIndex = 0;
    callbackWindow::ModuleHandle instance = nullptr;
    callbackWindow::WindowHandle window = nullptr;
    std::atomic<int> hidNumber { -1 };   // read by the transfer thread in write()

private:
    int wantedDeviceType() const;
};

// The window procedure of the hidden callback window.
intptr_t hidWindowProc (callbackWindow::WindowHandle window, unsigned int message,
                        uintptr_t wParam, intptr_t lParam);
