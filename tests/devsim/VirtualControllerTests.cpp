// The virtual controller's answers, checked report by report without any I/O.

#include "UpdateScript.h"

#include "tools/VirtualController.h"

#include <gtest/gtest.h>

using namespace updateScript;
using namespace reportProtocol;

namespace
{
    constexpr int none = -1;   // no answer
    constexpr int rejected = VirtualController::rejectedAnswer;

    struct Exchange
    {
        explicit Exchange (VirtualControllerOptions options = {})
            : controller (options, [this] (const std::string& line) { lines.push_back (line); })
        {
        }

        // Sends one report; returns the answer code, or none.
        int send (const OutputReport& report)
        {
            last = controller.handle (report.data(), report.size());
            return last.send ? last.code : none;
        }

        // Sends a section's start and, when it is answered with proceed, all its data;
        // returns the answer codes.
        std::vector<int> sendSection (const Fixture& fixture, int number)
        {
            std::vector<int> codes { send (makeSectionStart (number)) };
            if (codes.back() != proceed)
                return codes;
            for (size_t j = 0; j < dataReports (fixture, number); ++j)
            {
                codes.push_back (send (dataReport (fixture, number, j)));
                values.push_back (last.value);
            }
            return codes;
        }

        // Status queries until an answer other than working (at most 20).
        std::vector<int> pollStatus()
        {
            std::vector<int> codes;
            do
            {
                codes.push_back (send (makeStatusQuery()));
                statusValues.push_back (last.value);
            }
            while (codes.back() == working && codes.size() < 20);
            return codes;
        }

        bool said (const std::string& text) const
        {
            for (const auto& line : lines)
                if (line.find (text) != std::string::npos)
                    return true;
            return false;
        }

        VirtualController controller;
        VirtualController::Answer last;
        std::vector<std::string> lines;
        std::vector<int> values;         // of the data answers
        std::vector<int> statusValues;   // of the status answers
    };
}

TEST (VirtualController, AnswersACompleteUpdateAsTheControllerDoes)
{
    // 62 bytes: one report; 63: two; 0: only the start; section 4 is carried but not sent.
    const auto fixture = makeFixture ({ 62, 63, 0, 500, 1000 }, { 4 });
    Exchange exchange;

    EXPECT_EQ (exchange.send (makeUpdateHeader (fixture.package)), headerAccepted);
    EXPECT_EQ (exchange.sendSection (fixture, 1), (std::vector<int> { proceed, sectionEnd }));
    EXPECT_EQ (exchange.last.completedSection, 1);
    EXPECT_EQ (exchange.sendSection (fixture, 2), (std::vector<int> { proceed, proceed, sectionEnd }));
    EXPECT_EQ (exchange.sendSection (fixture, 3), (std::vector<int> { proceed }));
    EXPECT_EQ (exchange.last.completedSection, 3) << "an empty section ends with its start";
    EXPECT_EQ (exchange.sendSection (fixture, 5).back(), sectionEnd);
    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { working, working, working, finished }));
    EXPECT_EQ (exchange.last.value, 100);

    EXPECT_TRUE (exchange.controller.complete());
    EXPECT_TRUE (exchange.controller.finishedAnswered());
    EXPECT_EQ (exchange.controller.announcedVersion(), 123);
    for (const int number : { 1, 2, 3, 5 })
        EXPECT_EQ (exchange.controller.receivedSection (number), sectionBytes (fixture, number)) << number;
    EXPECT_TRUE (exchange.controller.receivedSection (4).empty());

    EXPECT_TRUE (exchange.said ("header: version 1.23, 4 of 8 sections, 1125 bytes announced"));
    EXPECT_TRUE (exchange.said ("section 2: received 63 bytes"));
    EXPECT_EQ (exchange.controller.summary(), "update 1.23 complete and correct: 4 sections, 1125 bytes, 29 reports");
}

TEST (VirtualController, ReportsThePercentOfAllAnnouncedDataReceived)
{
    const auto fixture = makeFixture ({ 124, 200 });   // 324 bytes announced
    Exchange exchange;
    exchange.send (makeUpdateHeader (fixture.package));
    exchange.sendSection (fixture, 1);
    exchange.sendSection (fixture, 2);

    // 62, 124 | 186, 248, 310, 324 bytes of 324.
    EXPECT_EQ (exchange.values, (std::vector<int> { 19, 38, 57, 76, 95, 100 }));
}

TEST (VirtualController, StatusIsWorkingAsOftenAsAskedThenFinished)
{
    const auto fixture = makeFixture ({ 10 });

    struct Case { int workingAnswers; std::vector<int> percents; };
    for (const auto& c : { Case { 0, { 100 } }, Case { 1, { 50, 100 } }, Case { 4, { 20, 40, 60, 80, 100 } } })
    {
        SCOPED_TRACE (c.workingAnswers);
        VirtualControllerOptions options;
        options.workingAnswers = c.workingAnswers;
        Exchange exchange (options);
        exchange.send (makeUpdateHeader (fixture.package));
        exchange.sendSection (fixture, 1);

        exchange.pollStatus();
        EXPECT_EQ (exchange.statusValues, c.percents);
        EXPECT_EQ (exchange.last.code, finished);
    }
}

TEST (VirtualController, RejectsTheStatusWhenASectionDoesNotMatchTheHeader)
{
    const auto fixture = makeFixture ({ 100, 100 });
    Exchange exchange;
    exchange.send (makeUpdateHeader (fixture.package));
    exchange.sendSection (fixture, 1);

    // Section 2 with one byte changed on the way.
    exchange.send (makeSectionStart (2));
    auto corrupted = dataReport (fixture, 2, 0);
    corrupted[reportProtocol::sectionDataOffset + 5] ^= 0x01;
    EXPECT_EQ (exchange.send (corrupted), proceed);
    EXPECT_EQ (exchange.send (dataReport (fixture, 2, 1)), sectionEnd);

    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { rejected }));
    EXPECT_TRUE (exchange.controller.statusRejected());
    EXPECT_FALSE (exchange.controller.complete());
    EXPECT_TRUE (exchange.said ("section 2: received 100 bytes"));
    EXPECT_TRUE (exchange.said ("MISMATCH"));
    EXPECT_EQ (exchange.controller.summary(), "update 1.23 incorrect: section 2 does not match the header");
}

TEST (VirtualController, RejectsTheStatusAfterAnUnfinishedSection)
{
    const auto fixture = makeFixture ({ 200 });
    Exchange exchange;
    exchange.send (makeUpdateHeader (fixture.package));
    exchange.send (makeSectionStart (1));
    exchange.send (dataReport (fixture, 1, 0));

    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { rejected }));
    EXPECT_EQ (exchange.controller.summary(), "update 1.23 incorrect: section 1 unfinished");
}

TEST (VirtualController, RejectsReportsThatBreakTheExchange)
{
    const auto fixture = makeFixture ({ 100, 100 });
    OutputReport unknown {};
    unknown[0] = 0xF5;
    OutputReport badNumber = makeSectionStart (9);

    struct Case
    {
        const char* what;
        bool headerFirst;
        std::vector<OutputReport> before;
        OutputReport report;
        size_t size;
        const char* problem;
    };

    const Case cases[] = {
        { "start before the header",  false, {}, makeSectionStart (1), 64, "section start before the header" },
        { "data without a start",     true,  {}, dataReport (fixture, 1, 0), 64, "data for section 1 without its start" },
        { "data of another section",  true,  { makeSectionStart (1) }, dataReport (fixture, 2, 0), 64, "data for section 2 inside section 1" },
        { "section number 9",         true,  {}, badNumber, 64, "section number 9 out of range" },
        { "unknown command",          true,  {}, unknown, 64, "unknown command 0x00F5" },
        { "a short report",           true,  {}, makeStatusQuery(), 63, "a report of 63 bytes, not 64" },
        { "a second header",          true,  {}, makeUpdateHeader (fixture.package), 64, "a second header" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        Exchange exchange;
        if (c.headerFirst)
            exchange.send (makeUpdateHeader (fixture.package));
        for (const auto& report : c.before)
            exchange.send (report);

        const auto answer = exchange.controller.handle (c.report.data(), c.size);
        EXPECT_TRUE (answer.send);
        EXPECT_EQ (answer.code, rejected);
        EXPECT_TRUE (exchange.said ("error: " + std::string (c.problem)));
        EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { rejected }));
    }
}

TEST (VirtualController, StatusBeforeAnyHeaderIsRejected)
{
    Exchange exchange;
    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { rejected }));
    EXPECT_EQ (exchange.controller.summary(), "no update received");
}

TEST (VirtualController, ChecksThatEachHeaderRecordNamesItsOwnSection)
{
    const auto fixture = makeFixture ({ 10, 10 });
    auto header = makeUpdateHeader (fixture.package);
    header[headerRecordsOffset + sectionRecordSize] = (uint8_t) (recordEnabledBit | 5);   // record 2 says 5

    Exchange exchange;
    EXPECT_EQ (exchange.send (header), headerAccepted);
    exchange.sendSection (fixture, 1);
    exchange.sendSection (fixture, 2);
    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { rejected }));
    EXPECT_TRUE (exchange.said ("header record 2 names section 5"));
}

namespace
{
    struct FaultCase
    {
        const char* what;
        const char* point;
        bool silent;                 // else a wrong answer
        std::vector<int> answers;    // to header, the three sections' reports, the status polling
        bool complete;
    };
}

TEST (VirtualController, InjectsEachFaultAtItsPoint)
{
    // Three sections of 62, 124 and 62 bytes: data reports 1 | 2, 3 | 4.
    const auto fixture = makeFixture ({ 62, 124, 62 });
    const int P = proceed, E = sectionEnd, H = headerAccepted, W = working, F = finished, N = none, R = rejected;

    const FaultCase cases[] = {
        { "no answer to the header",  "header",    true,  { N }, false },
        { "wrong header answer",      "header",    false, { R }, false },
        { "no answer at section 2",   "section:2", true,  { H,  P, E,  N,        P, E,  W, F }, false },
        { "wrong answer at section 2","section:2", false, { H,  P, E,  R,        P, E,  W, F }, false },
        { "no answer at data 3",      "data:3",    true,  { H,  P, E,  P, P, N,  P, E,  R }, false },
        { "wrong answer at data 3",   "data:3",    false, { H,  P, E,  P, P, R,  P, E,  R }, false },
        { "no answer to the status",  "status",    true,  { H,  P, E,  P, P, E,  P, E,  N, W, F }, true },
        { "wrong status answer",      "status",    false, { H,  P, E,  P, P, E,  P, E,  R }, false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        VirtualControllerOptions options;
        options.workingAnswers = 1;
        (c.silent ? options.silentAt : options.wrongAt) = FaultPoint::parse (c.point);
        Exchange exchange (options);

        // A host that goes on whatever it hears, except that it leaves out a section whose
        // start is not answered with proceed, as the updater does.
        std::vector<int> answers { exchange.send (makeUpdateHeader (fixture.package)) };
        for (const int number : { 1, 2, 3 })
        {
            const auto codes = exchange.sendSection (fixture, number);
            if (codes.front() != proceed)
            {
                answers.push_back (codes.front());
                continue;
            }
            answers.insert (answers.end(), codes.begin(), codes.end());
        }

        for (int query = 0; query < 5; ++query)
        {
            answers.push_back (exchange.send (makeStatusQuery()));
            if (answers.back() == finished || answers.back() == rejected)
                break;
        }

        // A header that is not acted on leaves the controller without one; the updater
        // ends at once there, so only the first answer matters.
        if (std::string (c.point) == "header")
        {
            EXPECT_EQ (answers.front(), c.answers.front());
            EXPECT_TRUE (exchange.said (c.silent ? "fault: no answer to the header" : "fault: wrong answer to the header"));
            EXPECT_FALSE (exchange.controller.headerReceived());
            EXPECT_FALSE (exchange.controller.complete());
            continue;
        }

        EXPECT_EQ (answers, c.answers);
        EXPECT_EQ (exchange.controller.complete(), c.complete);
        EXPECT_TRUE (exchange.said (c.silent ? "fault: no answer to " : "fault: wrong answer to "));
    }
}

TEST (VirtualController, WrongAnswerAtASectionStartLeavesTheSectionOutButCanStillFinish)
{
    const auto fixture = makeFixture ({ 62, 62 });
    VirtualControllerOptions options;
    options.workingAnswers = 0;
    options.wrongAt = FaultPoint::parse ("section:1");
    Exchange exchange (options);

    exchange.send (makeUpdateHeader (fixture.package));
    EXPECT_EQ (exchange.send (makeSectionStart (1)), rejected);
    exchange.sendSection (fixture, 2);
    EXPECT_EQ (exchange.pollStatus(), (std::vector<int> { finished }));
    EXPECT_FALSE (exchange.controller.complete());
    EXPECT_EQ (exchange.controller.summary(), "update 1.23 incomplete: section 1 not received");
}

TEST (VirtualController, LeavesWhenTheGivenReportComesWithoutAnsweringIt)
{
    const auto fixture = makeFixture ({ 620 });
    VirtualControllerOptions options;
    options.leaveAfterReports = 4;
    Exchange exchange (options);

    exchange.send (makeUpdateHeader (fixture.package));
    exchange.send (makeSectionStart (1));
    EXPECT_EQ (exchange.send (dataReport (fixture, 1, 0)), proceed);
    EXPECT_FALSE (exchange.last.leave);
    EXPECT_EQ (exchange.send (dataReport (fixture, 1, 1)), none);
    EXPECT_TRUE (exchange.last.leave);
    EXPECT_EQ (exchange.controller.reportsHandled(), 4);
    EXPECT_FALSE (exchange.controller.complete());
}

TEST (VirtualController, ParsesFaultPoints)
{
    struct Case { const char* text; FaultPoint::Kind kind; int number; };
    const Case cases[] = {
        { "header", FaultPoint::header, 0 },       { "status", FaultPoint::statusQuery, 0 },
        { "section:1", FaultPoint::sectionStart, 1 }, { "section:8", FaultPoint::sectionStart, 8 },
        { "data:1", FaultPoint::dataReport, 1 },    { "data:250000", FaultPoint::dataReport, 250000 },
        { "section:0", FaultPoint::none, 0 },       { "section:9", FaultPoint::none, 0 },
        { "section:", FaultPoint::none, 0 },        { "data:0", FaultPoint::none, 0 },
        { "data:-1", FaultPoint::none, 0 },         { "data:1x", FaultPoint::none, 0 },
        { "data:99999999", FaultPoint::none, 0 },   { "", FaultPoint::none, 0 },
        { "Header", FaultPoint::none, 0 },          { "status:1", FaultPoint::none, 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.text);
        const auto point = FaultPoint::parse (c.text);
        EXPECT_EQ (point.kind, c.kind);
        EXPECT_EQ (point.number, c.number);
    }
}
