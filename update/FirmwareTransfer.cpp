#include "update/FirmwareTransfer.h"

#include <juce_core/juce_core.h>

#include <algorithm>
#include <cstring>

using namespace reportProtocol;

namespace
{
    struct Answer
    {
        bool arrived = false;
        uint8_t code = 0;
        uint8_t value = 0;
    };

    // Every step is the same: one report out, then one answer awaited.
    Answer exchange (TransferLink& link, const OutputReport& report, int timeoutMs)
    {
        link.sendReport (report.data(), report.size());

        Answer answer;
        answer.arrived = link.awaitAnswer (timeoutMs, answer.code, answer.value);
        return answer;
    }

    bool finish (TransferLink& link, bool success)
    {
        link.postState (success ? updateDone : updateFailed);
        return success;
    }

    // The header carries the payload size and each length in 24 bits; a larger value would
    // reach the controller cut short, so such a package is not announced at all.
    bool fitsTheHeader (const UpdatePackage& package)
    {
        if ((uint32_t) package.payloadSize > largestAnnouncedSize)
            return false;

        for (const auto& section : package.sections)
            if (section.enabled && section.length > largestAnnouncedSize)
                return false;

        return true;
    }

    // One section's data, read again from the package file. The buffer holds whole reports'
    // worth, filled with dataPadding first, so the last data report never reaches past it.
    class SectionData
    {
    public:
        // False when the buffer cannot be obtained, the file cannot be opened, or the bytes
        // read are fewer than the section's length or fail its recorded CRC (the file has
        // changed since it was checked).
        bool read (const juce::File& packageFile, const PackageSection* sections, int k)
        {
            const auto& section = sections[k];
            const auto size = dataReportCount (section.length) * dataBytesPerReport;

            if (size > 0)
            {
                buffer.allocate (size, false);

                if (buffer == nullptr)
                    return false;

                std::memset (buffer, dataPadding, size);
            }

            juce::FileInputStream stream (packageFile);

            if (! stream.openedOk())
                return false;

            if (section.length == 0)
                return true;

            // The file offset, not the report byte of the same name in reportProtocol.
            if (! stream.setPosition ((juce::int64) sectionFileOffset (sections, k)))
                return false;

            size_t bytesRead = 0;

            while (bytesRead < section.length)
            {
                const auto chunk = std::min<size_t> (section.length - bytesRead, 1u << 20);
                const auto got = stream.read (buffer + bytesRead, (int) chunk);

                if (got <= 0)
                    break;

                bytesRead += (size_t) got;
            }

            return bytesRead == section.length
                && packageCrc (buffer, section.length) == section.crc;
        }

        const uint8_t* report (size_t j) const   { return buffer + j * dataBytesPerReport; }

    private:
        juce::HeapBlock<uint8_t> buffer;
    };

    // Sends every enabled section. False on the first failure, which leads to the status
    // phase; a section the controller declines is left out without failing.
    bool sendSections (const UpdatePackage& package, const juce::File& packageFile,
                       TransferLink& link, double& deviceProgress, const TransferTimeouts& timeouts)
    {
        for (int k = 0; k < packageLayout::sectionCount; ++k)
        {
            const auto& section = package.sections[k];
            const int number = k + 1;
            SectionData data;

            if (! data.read (packageFile, package.sections, k))
                return false;

            if (! section.enabled)
                continue;

            const auto start = exchange (link, makeSectionStart (number), timeouts.commandMs);

            // Zeroed by a device change or a quit: no answer from the controller, a failure.
            if (! start.arrived || start.code == noAnswer)
                return false;

            // Any answer of the controller's other than proceed declines the section: it is
            // left out, which is not a failure.
            if (start.code != proceed)
                continue;

            const auto reports = dataReportCount (section.length);

            for (size_t j = 0; j < reports; ++j)
            {
                // The percent of a data answer shows when the next data report goes out.
                link.setProgress (deviceProgress / 100.0);

                const auto answer = exchange (link, makeSectionData (number, data.report (j)),
                                              timeouts.dataMs);

                if (! answer.arrived)
                    return false;

                const bool last = j == reports - 1;
                const bool expected = last ? (answer.code == sectionEnd || answer.code == sectionEndAlt)
                                           : answer.code == proceed;

                if (! expected)
                    return false;

                deviceProgress = answer.value;
            }
        }

        return true;
    }

    // Polls until the controller has written the firmware. `working` asks again after the
    // pause; only `finished` ends it well.
    bool runStatusPhase (TransferLink& link, const TransferTimeouts& timeouts)
    {
        for (;;)
        {
            const auto answer = exchange (link, makeStatusQuery(), timeouts.commandMs);

            if (! answer.arrived || (answer.code != finished && answer.code != working))
                return false;

            link.setProgress (answer.value / 100.0);
            link.pause (timeouts.statusPauseMs);

            if (answer.code == finished)
                return true;
        }
    }
}

bool runFirmwareTransfer (const UpdatePackage& package, const juce::File& packageFile,
                          TransferLink& link, double& deviceProgress,
                          const TransferTimeouts& timeouts)
{
    // Posted before the first report: the answers are signalled only while `updating`.
    link.postState (updating);
    link.setProgress (0.0);

    if (package.payloadSize <= 0 || ! fitsTheHeader (package))
        return finish (link, false);

    const auto header = exchange (link, makeUpdateHeader (package), timeouts.commandMs);

    // A header that is not accepted ends at once, without the status phase.
    if (! header.arrived || header.code != headerAccepted)
        return finish (link, false);

    const bool sent = sendSections (package, packageFile, link, deviceProgress, timeouts);

    // Reached after every section failure too; a `finished` then does not make it a success.
    const bool written = runStatusPhase (link, timeouts);

    return finish (link, sent && written);
}

bool awaitReportAnswer (AutoResetEvent& reportEvent, const uint8_t* inputReport,
                        const juce::CriticalSection& inputLock,
                        int timeoutMs, uint8_t& code, uint8_t& value)
{
    if (! reportEvent.wait (timeoutMs))
        return false;

    const juce::ScopedLock lock (inputLock);
    code = inputReport[answerCodeOffset];
    value = inputReport[answerValueOffset];
    return true;
}
