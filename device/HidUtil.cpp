#include "device/HidUtil.h"

#include "devhid/devhid.h"

#include <algorithm>
#include <iterator>

HidUtil* HidUtil::current = nullptr;

HidUtil::~HidUtil()
{
    close();
}

int HidUtil::wantedDeviceType() const
{
    if (deviceIndex < 0 || deviceIndex >= (int) std::size (deviceTypeTable))
        return -1;   // no device has a negative type: finds nothing

    return deviceTypeTable[deviceIndex];
}

bool HidUtil::open (HidHandler* newHandler, int newDeviceIndex)
{
    if (current != nullptr)
        return false;

    current = this;
    handler = newHandler;
    deviceIndex = newDeviceIndex;

    instance = callbackWindow::getModuleHandle();
    if (instance == nullptr)
    {
        close();
        return false;
    }

    // Fails when the class is still registered from an earlier open; that class is ours.
    callbackWindow::registerClass (windowClassName, hidWindowProc, instance);

    window = callbackWindow::createWindow (windowClassName, windowClassName, instance);
    callbackWindow::hideWindow (window);

    if (window == nullptr)
    {
        close();
        return false;
    }

    HID_Initialize (instance);
    HID_SetCallback (window, (int32_t) inputMessage, (int32_t) arrivalMessage, (int32_t) removalMessage);
    HID_Start();
    return true;
}

void HidUtil::close()
{
    releaseDevice();

    // A HidUtil whose open was refused must not unhook the one that is open.
    if (current == this)
        current = nullptr;

    handler = nullptr;

    if (instance != nullptr && window != nullptr)
    {
        // The library stops posting before the window goes; anything already queued for
        // the window is dropped by it.
        HID_Stop();
        HID_SetCallback (nullptr, 0, 0, 0);
        HID_Finalize();
        callbackWindow::destroyWindow (window);
        callbackWindow::unregisterClass (windowClassName, instance);
        instance = nullptr;
        window = nullptr;
    }
}

bool HidUtil::findDevice()
{
    if (hidNumber >= 0)
        return true;

    int32_t numbers[hidListCapacity] = {};
    const int count = std::clamp ((int) HID_EnumHIDno (numbers), 0, hidListCapacity);
    const int wanted = wantedDeviceType();

    if (wanted < 0)
        return false;

    for (int i = 0; i < count; ++i)
    {
        if (HID_GetDeviceType (numbers[i]) == wanted)
        {
            hidNumber = numbers[i];
            return true;
        }
    }

    return false;
}

bool HidUtil::releaseDevice()
{
    if (hidNumber < 0)
        return false;

    hidNumber = -1;
    return true;
}

int HidUtil::readFirmwareVersion()
{
    if (hidNumber < 0)
        return 0;

    int32_t versions[2] = { 0, 0 };
    HID_GetFirmwareVersion (wantedDeviceType(), versions, 1);
    return versions[0];
}

int HidUtil::readInput (uint8_t* buffer, int size)
{
    const int number = hidNumber;

    if (buffer == nullptr || size <= 0 || number < 0)
        return 0;

    int32_t length = size;
    HID_Input (number, buffer, &length);

    // The length is the library's word; never let it claim more than the buffer holds.
    return std::clamp ((int) length, 0, size);
}

bool HidUtil::write (const uint8_t* data, int length)
{
    const int number = hidNumber;

    if (data == nullptr || length <= 0 || number < 0)
        return false;

    return HID_Write (number, data, length) != 0;
}

intptr_t hidWindowProc (callbackWindow::WindowHandle window, unsigned int message,
                        uintptr_t wParam, intptr_t lParam)
{
    // The handler may close the link; nothing of the HidUtil is touched after it is called.
    if (auto* util = HidUtil::current; util != nullptr && util->handler != nullptr)
    {
        auto* handler = util->handler;
        const bool isOpenDevice = util->hidNumber >= 0 && wParam == (uintptr_t) util->hidNumber.load();

        switch (message)
        {
            case HidUtil::removalMessage:
                if (isOpenDevice && util->releaseDevice())
                    handler->deviceRemoved();
                break;

            case HidUtil::arrivalMessage:
                if (util->hidNumber < 0 && util->findDevice())
                    handler->deviceArrived();
                break;

            case HidUtil::inputMessage:
                if (isOpenDevice)
                    handler->reportReceived();
                break;

            default:
                break;
        }
    }

    return callbackWindow::defaultProcedure (window, message, wParam, lParam);
}
