#include "tools/VirtualController.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using reportProtocol::OutputReport;

namespace
{
    std::string versionText (int version)
    {
        char text[16];
        std::snprintf (text, sizeof (text), "%d.%02d", version / 100, version % 100);
        return text;
    }

    std::string hex4 (unsigned value)
    {
        char text[8];
        std::snprintf (text, sizeof (text), "0x%04X", value & 0xFFFF);
        return text;
    }

    std::string byteCount (uint64_t count)
    {
        return std::to_string (count) + (count == 1 ? " byte" : " bytes");
    }

    // A whole decimal number from 1 to 1,000,000; 0 when malformed.
    int parseCount (const std::string& text)
    {
        if (text.empty() || text.size() > 7 || ! std::all_of (text.begin(), text.end(), ::isdigit))
            return 0;
        const int value = std::atoi (text.c_str());
        return value <= 1000000 ? value : 0;
    }
}

FaultPoint FaultPoint::parse (const std::string& text)
{
    FaultPoint point;

    if (text == "header")
        point.kind = header;
    else if (text == "status")
        point.kind = statusQuery;
    else if (text.rfind ("section:", 0) == 0)
    {
        point.number = parseCount (text.substr (8));
        if (point.number >= 1 && point.number <= packageLayout::sectionCount)
            point.kind = sectionStart;
    }
    else if (text.rfind ("data:", 0) == 0)
    {
        point.number = parseCount (text.substr (5));
        if (point.number >= 1)
            point.kind = dataReport;
    }

    if (point.kind == none)
        point.number = 0;

    return point;
}

std::string FaultPoint::describe() const
{
    switch (kind)
    {
        case header:       return "the header";
        case sectionStart: return "the start of section " + std::to_string (number);
        case dataReport:   return "data report " + std::to_string (number);
        case statusQuery:  return "the first status query";
        case none:         break;
    }
    return "nothing";
}

VirtualController::VirtualController (const VirtualControllerOptions& o, Say s)
    : options (o), say (std::move (s))
{
    if (! say)
        say = [] (const std::string&) {};
}

OutputReport VirtualController::answerReport (const Answer& answer)
{
    OutputReport report {};
    report[reportProtocol::answerCodeOffset] = answer.code;
    report[reportProtocol::answerValueOffset] = answer.value;
    return report;
}

const std::vector<uint8_t>& VirtualController::receivedSection (int number) const
{
    static const std::vector<uint8_t> none;
    if (number < 1 || number > packageLayout::sectionCount)
        return none;
    return results[number - 1].data;
}

uint8_t VirtualController::percentReceived() const
{
    if (bytesAnnounced == 0)
        return 100;
    return (uint8_t) std::min<uint64_t> (100, bytesReceived * 100 / bytesAnnounced);
}

bool VirtualController::faultAt (const FaultPoint& point, int command, int number) const
{
    switch (point.kind)
    {
        case FaultPoint::header:
            return command == reportProtocol::updateHeader && headersSeen == 1;
        case FaultPoint::sectionStart:
            return command == reportProtocol::sectionStart && number == point.number
                && sectionStartsSeen[number - 1] == 1;
        case FaultPoint::dataReport:
            return command == reportProtocol::sectionData && dataReportsSeen == point.number;
        case FaultPoint::statusQuery:
            return command == reportProtocol::statusQuery && statusQueriesSeen == 1;
        case FaultPoint::none:
            break;
    }
    return false;
}

VirtualController::Answer VirtualController::handle (const uint8_t* report, size_t size)
{
    ++handled;
    Answer answer;

    // Pulled out as the report comes in: it is neither acted on nor answered.
    if (options.leaveAfterReports > 0 && handled == options.leaveAfterReports)
    {
        answer.leave = true;
        return answer;
    }

    if (report == nullptr || size != reportProtocol::reportSize)
    {
        answer = reject ("a report of " + std::to_string (size) + " bytes, not 64");
    }
    else
    {
        OutputReport bytes;
        std::copy (report, report + reportProtocol::reportSize, bytes.begin());
        const int command = bytes[0];
        const int number = bytes[reportProtocol::sectionNumberOffset];
        const bool numbered = command == reportProtocol::sectionStart || command == reportProtocol::sectionData;
        const bool validNumber = number >= 1 && number <= packageLayout::sectionCount;

        switch (command)
        {
            case reportProtocol::updateHeader: ++headersSeen; break;
            case reportProtocol::sectionData:  ++dataReportsSeen; break;
            case reportProtocol::statusQuery:  ++statusQueriesSeen; break;
            case reportProtocol::sectionStart: if (validNumber) ++sectionStartsSeen[number - 1]; break;
            default: break;
        }

        // An injected fault takes the report without acting on it, like a lost report.
        if (faultAt (options.silentAt, command, number))
        {
            say ("fault: no answer to " + options.silentAt.describe());
        }
        else if (faultAt (options.wrongAt, command, number))
        {
            say ("fault: wrong answer to " + options.wrongAt.describe());
            answer = { true, rejectedAnswer, 0 };
        }
        else if (numbered && ! validNumber)
        {
            answer = reject ("section number " + std::to_string (number) + " out of range");
        }
        else
        {
            switch (command)
            {
                case reportProtocol::updateHeader: answer = onHeader (bytes); break;
                case reportProtocol::sectionStart: answer = onSectionStart (number); break;
                case reportProtocol::sectionData:  answer = onSectionData (number, bytes.data() + reportProtocol::sectionDataOffset); break;
                case reportProtocol::statusQuery:  answer = onStatusQuery(); break;
                default:           answer = reject ("unknown command " + hex4 ((unsigned) command)); break;
            }
        }
    }

    return answer;
}

VirtualController::Answer VirtualController::reject (const std::string& problem)
{
    problems.push_back (problem);
    say ("error: " + problem);
    return { true, rejectedAnswer, 0 };
}

VirtualController::Answer VirtualController::onHeader (const OutputReport& report)
{
    // The updater sends one header per run; a second would restart nothing here.
    if (headerSeen)
        return reject ("a second header");

    headerSeen = true;
    version = reportProtocol::readHeaderVersion (report);
    int enabled = 0;

    for (size_t k = 0; k < (size_t) packageLayout::sectionCount; ++k)
    {
        announced[k] = reportProtocol::readHeaderSection (report, k);

        if (reportProtocol::readHeaderRecordNumber (report, k) != (int) k + 1)
            problems.push_back ("header record " + std::to_string (k + 1) + " names section "
                                + std::to_string (reportProtocol::readHeaderRecordNumber (report, k)));

        if (announced[k].enabled)
        {
            ++enabled;
            bytesAnnounced += announced[k].length;
        }
    }

    say ("header: version " + versionText (version) + ", " + std::to_string (enabled)
         + " of 8 sections, " + byteCount (bytesAnnounced) + " announced");

    for (const auto& problem : problems)
        say ("error: " + problem);

    return { true, reportProtocol::headerAccepted, 0 };
}

VirtualController::Answer VirtualController::onSectionStart (int number)
{
    if (! headerSeen)
        return reject ("section start before the header");

    if (currentSection != 0)
        problems.push_back ("section " + std::to_string (currentSection) + " left unfinished");

    const auto& section = announced[number - 1];

    if (! section.enabled)
        problems.push_back ("section " + std::to_string (number) + " sent but not announced");

    currentSection = number;
    reportsExpected = reportProtocol::dataReportCount (section.length);
    reportsReceived = 0;
    currentData.clear();
    currentData.reserve (section.length);

    say ("section " + std::to_string (number) + ": start, " + byteCount (section.length) + " announced");

    Answer answer { true, reportProtocol::proceed, percentReceived() };

    // Announced empty: the section is over with its start.
    if (reportsExpected == 0)
    {
        answer.completedSection = number;
        finishSection();
    }

    return answer;
}

VirtualController::Answer VirtualController::onSectionData (int number, const uint8_t* data)
{
    if (currentSection == 0)
        return reject ("data for section " + std::to_string (number) + " without its start");

    if (number != currentSection)
        return reject ("data for section " + std::to_string (number) + " inside section "
                       + std::to_string (currentSection));

    const auto length = announced[number - 1].length;
    const auto take = std::min<size_t> (reportProtocol::dataBytesPerReport, length - currentData.size());
    currentData.insert (currentData.end(), data, data + take);
    bytesReceived += take;
    ++reportsReceived;

    if (reportsReceived < reportsExpected)
        return { true, reportProtocol::proceed, percentReceived() };

    Answer answer { true, reportProtocol::sectionEnd, percentReceived() };
    answer.completedSection = number;
    finishSection();
    return answer;
}

void VirtualController::finishSection()
{
    const int number = currentSection;
    const auto& section = announced[number - 1];
    auto& result = results[number - 1];

    result.received = true;
    result.crc = packageCrc (currentData.data(), currentData.size());
    result.matches = section.enabled && currentData.size() == section.length && result.crc == section.crc;
    result.data = std::move (currentData);
    currentData.clear();
    currentSection = 0;

    std::string line = "section " + std::to_string (number) + ": received "
                     + byteCount (result.data.size()) + ", CRC " + hex4 (result.crc);

    if (result.matches)
        line += ", ok";
    else
        line += ", MISMATCH: announced " + byteCount (section.length) + ", CRC "
              + hex4 (section.crc);

    say (line);
}

bool VirtualController::soundSoFar (std::string* reason) const
{
    auto fail = [reason] (const std::string& text)
    {
        if (reason != nullptr)
            *reason = text;
        return false;
    };

    if (! headerSeen)
        return fail ("no header received");

    if (! problems.empty())
        return fail (problems.front());

    if (currentSection != 0)
        return fail ("section " + std::to_string (currentSection) + " unfinished");

    for (int k = 0; k < packageLayout::sectionCount; ++k)
        if (results[k].received && ! results[k].matches)
            return fail ("section " + std::to_string (k + 1) + " does not match the header");

    return true;
}

VirtualController::Answer VirtualController::onStatusQuery()
{
    std::string reason;

    if (rejected || ! soundSoFar (&reason))
    {
        if (! rejected)
            say ("status: rejected, " + reason);
        rejected = true;
        return { true, rejectedAnswer, 0 };
    }

    if (workingSent < options.workingAnswers)
    {
        ++workingSent;
        const auto percent = (uint8_t) (workingSent * 100 / (options.workingAnswers + 1));
        say ("status: working " + std::to_string (percent) + "%");
        return { true, reportProtocol::working, percent };
    }

    finished = true;
    say ("status: finished 100%");
    return { true, reportProtocol::finished, 100 };
}

bool VirtualController::complete() const
{
    if (! finished || ! soundSoFar (nullptr))
        return false;

    for (int k = 0; k < packageLayout::sectionCount; ++k)
        if (announced[k].enabled && ! (results[k].received && results[k].matches))
            return false;

    return true;
}

std::string VirtualController::summary() const
{
    if (! headerSeen)
        return "no update received";

    const auto update = "update " + versionText (version);
    std::string reason;

    if (! soundSoFar (&reason))
        return update + " incorrect: " + reason;

    int sections = 0;

    for (int k = 0; k < packageLayout::sectionCount; ++k)
    {
        if (announced[k].enabled && ! results[k].received)
            return update + " incomplete: section " + std::to_string (k + 1) + " not received";
        sections += announced[k].enabled ? 1 : 0;
    }

    if (! finished)
        return update + " incomplete: status not finished";

    return update + " complete and correct: " + std::to_string (sections) + " sections, "
         + byteCount (bytesReceived) + ", " + std::to_string (handled) + " reports";
}
