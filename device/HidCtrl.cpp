#include "device/HidCtrl.h"

#include "device/HidUtil.h"

#include <cstring>

HidCtrl::~HidCtrl()
{
    close();
}

bool HidCtrl::open (HidHandler* newClient, int deviceIndex)
{
    close();

    client = newClient;
    util = new HidUtil();
    connectionState = disconnected;
    firmwareVersion = 0;
    std::memset (lastReport, 0, sizeof (lastReport));
    lastReportLength = 0;

    if (! util->open (this, deviceIndex))
    {
        close();
        return false;
    }

    connectionState = util->findDevice() ? connected : disconnected;

    if (connectionState == connected)
    {
        firmwareVersion = util->readFirmwareVersion();
        lastReportLength = readReport (lastReport, reportCapacity);
    }

    return true;
}

void HidCtrl::close()
{
    client = nullptr;

    if (util != nullptr)
    {
        util->close();
        delete util;
        util = nullptr;
    }

    connectionState = disconnected;
}

int HidCtrl::readReport (uint8_t* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return 0;

    std::memset (buffer, 0, (size_t) size);
    return util != nullptr ? util->readInput (buffer, size) : 0;
}

bool HidCtrl::sendReport (const uint8_t* data, int length)
{
    // connected → inUse, inUse stays; never over a disconnected that the message thread
    // has just set, so a removal is not undone by a write racing with it.
    int state = connectionState.load();

    do
    {
        if (state == disconnected)
            return false;
    }
    while (state != inUse && ! connectionState.compare_exchange_weak (state, inUse));

    return util != nullptr && util->write (data, length);
}

void HidCtrl::refreshOpenDevice()
{
    firmwareVersion = util->readFirmwareVersion();
    lastReportLength = readReport (lastReport, reportCapacity);
}

void HidCtrl::forgetOpenDevice()
{
    firmwareVersion = 0;
    std::memset (lastReport, 0, sizeof (lastReport));
    lastReportLength = 0;
}

void HidCtrl::deviceRemoved()
{
    if (util == nullptr)
        return;

    const int state = connectionState;

    // Once something has been written, the removal ends it, even if another controller is
    // attached: that one is taken on at its next arrival notification.
    if (state == inUse)
        connectionState = disconnected;
    else if (state == connected)
        connectionState = util->findDevice() ? connected : disconnected;

    if (connectionState != disconnected)
    {
        refreshOpenDevice();
        if (client != nullptr)
            client->deviceArrived();
    }
    else
    {
        forgetOpenDevice();
        if (client != nullptr)
            client->deviceRemoved();
    }
}

void HidCtrl::deviceArrived()
{
    if (util == nullptr)
        return;

    connectionState = connected;
    refreshOpenDevice();

    if (client != nullptr)
        client->deviceArrived();
}

void HidCtrl::reportReceived()
{
    if (util == nullptr)
        return;

    uint8_t report[reportCapacity];
    const int length = readReport (report, reportCapacity);
    std::memcpy (lastReport, report, (size_t) length);
    lastReportLength = length;

    if (client != nullptr)
        client->reportReceived();
}
