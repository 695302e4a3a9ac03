#pragma once

// The three device events, told by HidUtil to HidCtrl and by HidCtrl to its client.
// Called on the message thread only. Slot order matters: removed, arrived, report.
class HidHandler
{
public:
    // No controller of the wanted type is open any more (HidUtil: the open device was
    // removed and has already been forgotten).
    virtual void deviceRemoved() = 0;

    // A controller of the wanted type is open; its firmware version and last report are fresh.
    virtual void deviceArrived() = 0;

    // A new input report of the open controller can be read (HidCtrl: is in lastReport).
    virtual void reportReceived() = 0;

protected:
    // Never deleted through this interface.
    ~HidHandler() = default;
};
