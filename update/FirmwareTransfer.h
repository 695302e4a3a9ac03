#pragma once

// The report exchange that sends a checked update package to the controller: the whole
// body of the transfer thread. It talks to the controller and to the screen only through
// a TransferLink, so that it runs the same against the real device and a scripted one.

#include "update/AutoResetEvent.h"
#include "update/ReportProtocol.h"
#include "update/ScreenState.h"
#include "update/UpdatePackage.h"

#include <cstddef>
#include <cstdint>

namespace juce
{
    class CriticalSection;
    class File;
}

// What the exchange needs from its surroundings. Every call comes from the transfer thread.
class TransferLink
{
public:
    virtual ~TransferLink() = default;

    // Writes one output report (reportProtocol::reportSize bytes). Whether it was written
    // is not looked at: a report that cannot be written shows as a missing answer.
    virtual void sendReport (const uint8_t* report, size_t size) = 0;

    // Waits up to timeoutMs for the answer to the report last sent. False on time-out.
    // On success the wake-up signal has been reset and code and value are bytes 0 and 1 of
    // the input report. A device that went away (or came back) reads as code 0x00, which
    // no step accepts.
    virtual bool awaitAnswer (int timeoutMs, uint8_t& code, uint8_t& value) = 0;

    // Hands a ScreenState to the message thread (pending state plus asynchronous update).
    virtual void postState (int screenState) = 0;

    // The value the progress bar shows, 0.0 to 1.0.
    virtual void setProgress (double progress) = 0;

    // The pause between status answers: a wait on the thread's own wake-up signal, which a
    // request to stop the thread cuts short.
    virtual void pause (int milliseconds) = 0;
};

// The program always uses the defaults; tests inject shorter ones.
struct TransferTimeouts
{
    int commandMs = reportProtocol::commandTimeoutMs;   // after updateHeader, sectionStart, statusQuery
    int dataMs = reportProtocol::dataTimeoutMs;         // after each sectionData
    int statusPauseMs = reportProtocol::statusPauseMs;  // between status answers
};

// Runs the whole exchange: posts `updating`, sends the header, every enabled section's
// start and data reports, polls the status, and posts exactly one of `updateDone` and
// `updateFailed` last. Returns true when it posted `updateDone`.
//
// `packageFile` is the file the package was read from; it is opened again for each section
// and read at that section's data offset. Data that no longer matches the section's
// recorded length and CRC is never sent: that section counts as a failed read.
// A section start answered by the controller with anything but `proceed` leaves that
// section out; one that reads as the zeroed report (a device change or a quit) is a failure.
// `deviceProgress` is the last percent from a data answer; it is not reset here.
bool runFirmwareTransfer (const UpdatePackage& package, const juce::File& packageFile,
                          TransferLink& link, double& deviceProgress,
                          const TransferTimeouts& timeouts = {});

// The program's way of awaiting an answer, for its TransferLink: waits on `reportEvent`
// (auto-reset; set after `inputReport` has been written) and reads the answer from bytes 0
// and 1 of `inputReport` under `inputLock`, which the writer of `inputReport` holds too:
// more reports may arrive while the answer is read.
bool awaitReportAnswer (AutoResetEvent& reportEvent, const uint8_t* inputReport,
                        const juce::CriticalSection& inputLock,
                        int timeoutMs, uint8_t& code, uint8_t& value);
