#pragma once

// The device link the updater owns: turns HidUtil's notifications into a connection state,
// keeps the open controller's firmware version and last input report, and passes each
// event on to its client. Message thread, except sendReport (transfer thread).

#include "device/HidHandler.h"

#include <atomic>
#include <cstdint>

class HidUtil;

class HidCtrl : public HidHandler
{
public:
    enum ConnectionState
    {
        disconnected = 0,   // no controller of the wanted type is open
        connected    = 1,   // open, nothing written since it was found
        inUse        = 2,   // open, at least one report written
    };

    static constexpr int reportCapacity = 256;

    HidCtrl() = default;
    virtual ~HidCtrl();

    HidCtrl (const HidCtrl&) = delete;
    HidCtrl& operator= (const HidCtrl&) = delete;

    // False only when the HID library cannot be opened; no controller is not a failure.
    // Tells the client nothing.
    bool open (HidHandler* client, int deviceIndex);
    void close();

    // Writes one output report; false when disconnected or the write failed.
    bool sendReport (const uint8_t* data, int length);

    void deviceRemoved() override;
    void deviceArrived() override;
    void reportReceived() override;

    HidHandler* client = nullptr;
    HidUtil* util = nullptr;
    std::atomic<int> connectionState { disconnected };   // also changed by sendReport
    int firmwareVersion = 0;
    uint8_t lastReport[reportCapacity] = {};
    int lastReportLength = 0;

private:
    int readReport (uint8_t* buffer, int size);
    void refreshOpenDevice();
    void forgetOpenDevice();
};
