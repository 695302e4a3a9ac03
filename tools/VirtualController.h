#pragma once

// The controller's side of the report exchange, as kvx-devsim plays it: answers each
// output report, checks every section against the header, and says what it saw.
// No I/O: kvx-devsim moves the reports, the tests call it directly.

#include "update/ReportProtocol.h"

#include <functional>
#include <string>
#include <vector>

// A report at which a fault is injected.
struct FaultPoint
{
    enum Kind { none, header, sectionStart, dataReport, statusQuery };

    Kind kind = none;
    int number = 0;   // the section (1..8) for sectionStart, N (from 1) for the Nth data report

    // "header", "section:K", "data:N", "status"; kind none when malformed.
    static FaultPoint parse (const std::string& text);
    std::string describe() const;
};

struct VirtualControllerOptions
{
    int workingAnswers = 3;        // `working` answers to status queries before `finished`
    FaultPoint silentAt;           // no answer there
    FaultPoint wrongAt;            // rejectedAnswer there
    int leaveAfterReports = 0;     // leave the bus when report N comes, unanswered; 0: never
};

class VirtualController
{
public:
    // The answer no step of the updater accepts: given to a status query when the update
    // was incomplete or incorrect, to a report that breaks the exchange, and as the
    // injected wrong answer.
    static constexpr uint8_t rejectedAnswer = 0xFD;

    struct Answer
    {
        bool send = false;
        uint8_t code = 0;
        uint8_t value = 0;
        bool leave = false;          // leave the bus now (after the answer, if any)
        int completedSection = 0;    // 1..8 when this report ended that section's data
    };

    using Say = std::function<void (const std::string& line)>;

    VirtualController (const VirtualControllerOptions& options, Say say);

    Answer handle (const uint8_t* report, size_t size);

    // The input report that carries an answer: code and value, zero-filled to 64 bytes.
    static reportProtocol::OutputReport answerReport (const Answer& answer);

    int reportsHandled() const { return handled; }
    bool headerReceived() const { return headerSeen; }
    int announcedVersion() const { return version; }
    bool finishedAnswered() const { return finished; }
    bool statusRejected() const { return rejected; }

    // The data received for section 1..8, empty when none.
    const std::vector<uint8_t>& receivedSection (int number) const;

    // Every enabled section of the header arrived with its announced length and CRC, the
    // exchange had no irregularity and the status query was answered `finished`.
    bool complete() const;

    // One line: complete and correct, or the first thing that was not.
    std::string summary() const;

private:
    struct SectionResult
    {
        bool received = false;
        bool matches = false;
        uint16_t crc = 0;
        std::vector<uint8_t> data;
    };

    Answer onHeader (const reportProtocol::OutputReport& report);
    Answer onSectionStart (int number);
    Answer onSectionData (int number, const uint8_t* data);
    Answer onStatusQuery();
    Answer reject (const std::string& problem);
    void finishSection();
    bool soundSoFar (std::string* reason) const;
    uint8_t percentReceived() const;
    bool faultAt (const FaultPoint& point, int command, int number) const;

    VirtualControllerOptions options;
    Say say;

    int handled = 0;
    int headersSeen = 0;
    int dataReportsSeen = 0;
    int statusQueriesSeen = 0;
    int sectionStartsSeen[packageLayout::sectionCount] = {};

    bool headerSeen = false;
    int version = 0;
    PackageSection announced[packageLayout::sectionCount] = {};
    uint64_t bytesAnnounced = 0;
    uint64_t bytesReceived = 0;

    int currentSection = 0;          // 1..8 while a section's data is coming, else 0
    size_t reportsExpected = 0;
    size_t reportsReceived = 0;
    std::vector<uint8_t> currentData;

    SectionResult results[packageLayout::sectionCount];
    std::vector<std::string> problems;
    int workingSent = 0;
    bool finished = false;
    bool rejected = false;
};
