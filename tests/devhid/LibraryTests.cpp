// libdevhid itself, against devices that speak the virtual HID bus from inside the test.

#include "BusTestSupport.h"

#include <algorithm>
#include <atomic>
#include <sys/wait.h>
#include <thread>

using namespace busTest;

namespace
{
    std::vector<uint8_t> bytesOf (std::initializer_list<uint8_t> list) { return list; }

    std::vector<uint8_t> counted (size_t index)
    {
        return { (uint8_t) (index & 0xFF), (uint8_t) (index >> 8) };
    }
}

using Library = BusLibrary;

TEST_F (Library, ReportsArrivalInputAndRemovalInOrderWithTheHidNumber)
{
    RawDevice a, b;
    ASSERT_EQ (attach (a, 13, 123, "KVX-70"), 1);
    ASSERT_EQ (attach (b, 5, 310), 2);

    EXPECT_EQ (listed(), (std::vector<int32_t> { 1, 2 }));
    EXPECT_EQ (HID_GetDeviceType (1), 13);
    EXPECT_EQ (HID_GetDeviceType (2), 5);

    ASSERT_TRUE (a.send (inputMessage ({ 0xF8, 0x00, 0x07 })));
    ASSERT_TRUE (a.send (inputMessage ({ 0xF9 })));
    log.waitFor (4);
    b.close();

    const auto events = log.waitFor (5);
    EXPECT_EQ (events, (std::vector<Event> { { arrival, 1 }, { arrival, 2 }, { input, 1 }, { input, 1 }, { removal, 2 } }));
    EXPECT_EQ (listed(), (std::vector<int32_t> { 1 }));
    EXPECT_EQ (HID_GetDeviceType (2), -1);

    // Oldest first, each once, then nothing.
    EXPECT_EQ (takeInput (1), bytesOf ({ 0xF8, 0x00, 0x07 }));
    EXPECT_EQ (takeInput (1), bytesOf ({ 0xF9 }));
    EXPECT_TRUE (takeInput (1).empty());
}

TEST_F (Library, TellsTheFirmwareVersionOfTheFirstListedDeviceOfAType)
{
    RawDevice a, b, c;
    ASSERT_EQ (attach (a, 5, 100), 1);
    ASSERT_EQ (attach (b, 13, 123), 2);
    ASSERT_EQ (attach (c, 13, 456), 3);

    struct Case { int32_t type; int32_t version; int32_t result; };
    for (const auto& expected : { Case { 13, 123, 1 }, Case { 5, 100, 1 }, Case { 0, 0, 0 }, Case { -1, 0, 0 } })
    {
        SCOPED_TRACE (expected.type);
        int32_t versions[2] = { 77, 77 };
        EXPECT_EQ (HID_GetFirmwareVersion (expected.type, versions, 1), expected.result);
        EXPECT_EQ (versions[0], expected.version);
    }

    b.close();
    log.waitFor (4);
    int32_t versions[2] = {};
    HID_GetFirmwareVersion (13, versions, 1);
    EXPECT_EQ (versions[0], 456);
}

TEST_F (Library, AnUnknownHidNumberHasTypeMinusOneNoInputAndTakesNoWrite)
{
    const uint8_t report[64] = { 0xF0 };
    for (const int32_t hidNumber : { 0, 1, -1, 999 })
    {
        SCOPED_TRACE (hidNumber);
        EXPECT_EQ (HID_GetDeviceType (hidNumber), -1);
        EXPECT_TRUE (takeInput (hidNumber).empty());
        EXPECT_EQ (HID_Write (hidNumber, report, 64), 0);
    }
}

TEST_F (Library, KeepsUpTo1024ReportsPerDeviceAndEndsADeviceThatSendsMore)
{
    RawDevice device, bystander;
    ASSERT_EQ (attach (device, 13, 100), 1);
    ASSERT_EQ (attach (bystander, 13, 100), 2);

    // A full queue read back in order, then filled again: reading makes room.
    for (int round = 0; round < 2; ++round)
    {
        const auto before = log.snapshot().size();
        for (size_t i = 0; i < 1024; ++i)
            ASSERT_TRUE (device.send (inputMessage (counted (i))));
        ASSERT_EQ (log.waitFor (before + 1024).size(), before + 1024);

        for (size_t i = 0; i < 1024; ++i)
            ASSERT_EQ (takeInput (1), counted (i)) << i;
        EXPECT_TRUE (takeInput (1).empty());
    }

    const auto before = log.snapshot().size();
    for (size_t i = 0; i < 1025; ++i)
        ASSERT_TRUE (device.send (inputMessage (counted (i))));

    EXPECT_TRUE (device.closedByLibrary());
    const auto events = log.waitFor (before + 1025);
    ASSERT_EQ (events.size(), before + 1025);
    EXPECT_EQ (events.back(), (Event { removal, 1 }));
    EXPECT_TRUE (takeInput (1).empty()) << "its waiting reports went with it";
    EXPECT_EQ (listed(), (std::vector<int32_t> { 2 }));
}

TEST_F (Library, CutsAReportToTheBufferAndLeavesItWaitingWhenThereIsNoRoomAtAll)
{
    RawDevice device;
    ASSERT_EQ (attach (device, 13, 100), 1);
    ASSERT_TRUE (device.send (inputMessage ({ 1, 2, 3, 4, 5 })));
    ASSERT_TRUE (device.send (inputMessage ({ 6, 7 })));
    log.waitFor (3);

    EXPECT_TRUE (takeInput (1, 0).empty());
    int32_t length = 64;
    EXPECT_EQ (HID_Input (1, nullptr, &length), 0);
    EXPECT_EQ (length, 0);
    EXPECT_EQ (HID_Input (1, nullptr, nullptr), 0);

    EXPECT_EQ (takeInput (1, 3), bytesOf ({ 1, 2, 3 }));
    EXPECT_EQ (takeInput (1), bytesOf ({ 6, 7 }));
}

TEST_F (Library, ListsAtMost128HidNumbers)
{
    std::vector<RawDevice> devices (130);
    for (size_t i = 0; i < devices.size(); ++i)
    {
        ASSERT_TRUE (devices[i].connect());
        ASSERT_TRUE (devices[i].send (hello (13, 100)));
    }
    ASSERT_EQ (log.waitFor (130).size(), 130u);

    int32_t numbers[140];
    std::fill (std::begin (numbers), std::end (numbers), -7);
    EXPECT_EQ (HID_EnumHIDno (numbers), 128);

    for (int32_t i = 0; i < 128; ++i)
        EXPECT_EQ (numbers[i], i + 1);
    for (int i = 128; i < 140; ++i)
        EXPECT_EQ (numbers[i], -7) << "written past the 128 numbers";

    EXPECT_EQ (HID_EnumHIDno (nullptr), 0);
}

TEST_F (Library, NeverReusesAHidNumber)
{
    for (int32_t expected = 1; expected <= 4; ++expected)
    {
        RawDevice device;
        ASSERT_EQ (attach (device, 13, 100), expected);
        device.close();
        ASSERT_EQ (log.waitFor ((size_t) expected * 2).back(), (Event { removal, (unsigned) expected }));
    }
    EXPECT_TRUE (listed().empty());
}

namespace
{
    struct Malformed
    {
        const char* what;
        bool helloFirst;
        std::vector<uint8_t> bytes;
    };

    std::vector<Malformed> malformedMessages()
    {
        std::vector<uint8_t> tooLongName (65, 'x');
        std::vector<uint8_t> report257 (257, 0xAB);

        return {
            { "unknown kind before HELLO",           false, message (0x04, { 1, 2 }) },
            { "INPUT before HELLO",                  false, inputMessage ({ 0xF8 }) },
            { "HELLO payload of 7 bytes",            false, message (0x01, { 13, 0, 0, 0, 100, 0, 0 }) },
            { "HELLO with a 65-byte name",           false, message (0x01, [&] { auto p = helloPayload (13, 100);
                                                                               p.insert (p.end(), tooLongName.begin(), tooLongName.end());
                                                                               return p; }()) },
            { "OUTPUT from a device",                true,  message (0x03, { 0xF0 }) },
            { "second HELLO",                        true,  hello (13, 100) },
            { "empty INPUT",                         true,  message (0x02, {}) },
            { "INPUT of 257 bytes",                  true,  message (0x02, report257) },
            { "kind 0",                              true,  message (0x00, { 1 }) },
            { "huge length, payload never sent",     true,  { 0x02, 0xFF, 0xFF } },
        };
    }
}

TEST_F (Library, DropsADeviceThatBreaksTheBusRulesAndNoOneElse)
{
    RawDevice bystander;
    ASSERT_EQ (attach (bystander, 13, 100), 1);
    int32_t nextNumber = 2;

    for (const auto& malformed : malformedMessages())
    {
        SCOPED_TRACE (malformed.what);
        log.clear();
        RawDevice device;
        ASSERT_TRUE (device.connect());

        if (malformed.helloFirst)
        {
            ASSERT_TRUE (device.send (hello (13, 100)));
            ASSERT_EQ (log.waitFor (1).front(), (Event { arrival, (unsigned) nextNumber }));
        }

        ASSERT_TRUE (device.send (malformed.bytes));
        EXPECT_TRUE (device.closedByLibrary());

        if (malformed.helloFirst)
            EXPECT_EQ (log.waitFor (2), (std::vector<Event> { { arrival, (unsigned) nextNumber }, { removal, (unsigned) nextNumber } }));
        else
            EXPECT_TRUE (log.snapshot().empty()) << "a device that never said HELLO is never announced";

        nextNumber += malformed.helloFirst ? 1 : 0;
        EXPECT_EQ (listed(), (std::vector<int32_t> { 1 }));
    }

    // The well-behaved device was never disturbed.
    log.clear();
    ASSERT_TRUE (bystander.send (inputMessage ({ 0x5A })));
    EXPECT_EQ (log.waitFor (1).front(), (Event { input, 1 }));
    EXPECT_EQ (takeInput (1), bytesOf ({ 0x5A }));
}

TEST_F (Library, AcceptsMessagesAtTheirSizeLimitsAndInAnyPieces)
{
    RawDevice device;
    ASSERT_TRUE (device.connect());

    // A HELLO with the longest name, trickled one byte at a time.
    for (const auto byte : hello (13, 0x7FFFFFFF, std::string (64, 'n')))
        ASSERT_TRUE (device.send ({ byte }));
    ASSERT_EQ (log.waitFor (1).front(), (Event { arrival, 1 }));
    int32_t versions[2] = {};
    HID_GetFirmwareVersion (13, versions, 1);
    EXPECT_EQ (versions[0], 0x7FFFFFFF);

    // Three messages in one write, the smallest and the largest report among them.
    std::vector<uint8_t> largest (256);
    for (size_t i = 0; i < largest.size(); ++i)
        largest[i] = (uint8_t) i;

    auto bytes = inputMessage ({ 0x01 });
    const auto second = inputMessage (largest);
    const auto third = inputMessage ({ 0x03, 0x03 });
    bytes.insert (bytes.end(), second.begin(), second.end());
    bytes.insert (bytes.end(), third.begin(), third.end());
    ASSERT_TRUE (device.send (bytes));

    ASSERT_EQ (log.waitFor (4).size(), 4u);
    EXPECT_EQ (takeInput (1), bytesOf ({ 0x01 }));
    EXPECT_EQ (takeInput (1), largest);
    EXPECT_EQ (takeInput (1), bytesOf ({ 0x03, 0x03 }));
}

TEST_F (Library, WritesTheReportUnchangedAsOneOutputMessage)
{
    RawDevice device;
    ASSERT_EQ (attach (device, 13, 100), 1);

    struct Case { int32_t length; int32_t result; };
    for (const auto& c : { Case { 64, 1 }, Case { 1, 1 }, Case { 256, 1 }, Case { 257, 0 }, Case { 0, 0 }, Case { -1, 0 } })
    {
        SCOPED_TRACE (c.length);
        std::vector<uint8_t> report (300);
        for (size_t i = 0; i < report.size(); ++i)
            report[i] = (uint8_t) (0xF0 + i * 7);

        ASSERT_EQ (HID_Write (1, report.data(), c.length), c.result);
        if (c.result == 0)
            continue;

        const auto header = device.receive (3);
        EXPECT_EQ (header, bytesOf ({ 0x03, (uint8_t) (c.length & 0xFF), (uint8_t) (c.length >> 8) }));
        EXPECT_EQ (device.receive ((size_t) c.length), std::vector<uint8_t> (report.begin(), report.begin() + c.length));
    }

    EXPECT_EQ (HID_Write (1, nullptr, 64), 0);
    EXPECT_TRUE (device.receive (1, 50).empty()) << "nothing else was sent";
}

TEST_F (Library, AWriteToADeviceThatStoppedReadingFailsInsteadOfHanging)
{
    RawDevice device;
    ASSERT_EQ (attach (device, 13, 100), 1);

    // The socket buffers fill after some thousands of reports; then a write must give up
    // (within the library's bounded wait) rather than block for good.
    const uint8_t report[64] = { 0xF3 };
    int written = 0;
    while (written < 1000000 && HID_Write (1, report, 64) != 0)
        ++written;

    EXPECT_LT (written, 1000000) << "writes never failed";
    EXPECT_GT (written, 0);
}

TEST_F (Library, WritesFromAnotherThreadWhileEventsFlow)
{
    RawDevice device;
    ASSERT_EQ (attach (device, 13, 100), 1);
    constexpr size_t reports = 2000;

    // At most this many answers wait unread, well inside the device's queue of 1024.
    constexpr size_t window = 256;
    std::atomic<size_t> read { 0 };
    std::atomic<bool> stop { false };

    // The device answers every output report with an input report of the same bytes.
    std::thread echo ([&device]
    {
        for (size_t i = 0; i < reports; ++i)
        {
            const auto header = device.receive (3);
            if (header.size() != 3)
                return;
            const auto body = device.receive ((size_t) (header[1] | (header[2] << 8)));
            if (! device.send (inputMessage (body)))
                return;
        }
    });

    std::thread transfer ([&read, &stop]
    {
        for (size_t i = 0; i < reports && ! stop; ++i)
        {
            while (i >= read + window && ! stop)
                std::this_thread::yield();

            const auto bytes = counted (i);
            while (HID_Write (1, bytes.data(), 2) == 0 && ! stop)
                std::this_thread::yield();
        }
    });

    // Every answer in order, each announced by its own input message.
    while (read < reports)
    {
        if (log.waitFor (read + 2).size() < read + 2)
            break;
        const auto received = takeInput (1);
        if (received != counted (read))
        {
            ADD_FAILURE() << "answer " << read << " was " << ::testing::PrintToString (received);
            break;
        }
        ++read;
    }

    stop = true;
    HID_Stop();
    transfer.join();
    echo.join();
    EXPECT_EQ (read, reports);
}

TEST_F (Library, WritesFromSeveralThreadsNeverInterleave)
{
    RawDevice device;
    ASSERT_EQ (attach (device, 13, 100), 1);
    constexpr int perThread = 2000;
    constexpr int threads = 4;
    std::atomic<bool> stop { false };

    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back ([t, &stop]
        {
            std::vector<uint8_t> report (64, (uint8_t) (t + 1));
            for (int i = 0; i < perThread && ! stop; ++i)
                while (HID_Write (1, report.data(), 64) == 0 && ! stop)
                    std::this_thread::yield();
        });

    // The device starts reading late, so that the writers wait on a full socket together.
    // Every message arrives whole, each writer's reports all of them: its header, then 64
    // bytes of one writer's value.
    std::this_thread::sleep_for (std::chrono::milliseconds (100));
    int counts[threads + 1] = {};
    for (int m = 0; m < threads * perThread; ++m)
    {
        const auto bytes = device.receive (3 + 64);
        const bool whole = bytes.size() == 67 && bytes[0] == 0x03 && bytes[3] >= 1 && bytes[3] <= threads
                           && std::count (bytes.begin() + 3, bytes.end(), bytes[3]) == 64;
        if (! whole)
        {
            ADD_FAILURE() << "message " << m << " is " << ::testing::PrintToString (bytes);
            break;
        }
        ++counts[bytes[3]];
    }

    stop = true;
    for (auto& writer : writers)
        writer.join();
    for (int t = 1; t <= threads; ++t)
        EXPECT_EQ (counts[t], perThread);
}

TEST_F (Library, StopDropsEveryDeviceWithoutNotificationsAndStartCountsAgain)
{
    RawDevice a, b;
    ASSERT_EQ (attach (a, 13, 100), 1);
    ASSERT_EQ (attach (b, 13, 100), 2);
    ASSERT_TRUE (a.send (inputMessage ({ 1 })));
    log.waitFor (3);

    HID_Stop();
    EXPECT_TRUE (a.closedByLibrary());
    EXPECT_TRUE (b.closedByLibrary());
    EXPECT_TRUE (listed().empty());
    EXPECT_TRUE (takeInput (1).empty());
    EXPECT_EQ (log.snapshot().size(), 3u) << "no removal messages after HID_Stop";

    RawDevice late;
    EXPECT_FALSE (late.connect()) << "nobody listens after HID_Stop";

    ASSERT_EQ (HID_Start(), 1);
    RawDevice c;
    EXPECT_EQ (attach (c, 13, 100), 1);
}

TEST_F (Library, WithoutATargetTheListStillChangesButNothingIsPosted)
{
    HID_SetCallback (nullptr, 0, 0, 0);
    RawDevice device;
    ASSERT_TRUE (device.connect());
    ASSERT_TRUE (device.send (hello (13, 100)));
    ASSERT_TRUE (device.send (inputMessage ({ 0x42 })));

    for (int i = 0; i < 1000 && takeInput (1).empty(); ++i)
        std::this_thread::sleep_for (std::chrono::milliseconds (5));

    EXPECT_EQ (listed(), (std::vector<int32_t> { 1 }));
    EXPECT_TRUE (log.snapshot().empty());
}

TEST_F (Library, APeerOfAnotherUserIsClosedAndNeverBecomesADevice)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";

    // The child turns into another user and connects to this user's bus; it exits 0 when
    // the library has closed its connection without reading its HELLO.
    const auto busOwner = ::getuid();
    const pid_t child = ::fork();
    ASSERT_GE (child, 0);

    if (child == 0)
    {
        if (::setresgid (65534, 65534, 65534) != 0 || ::setresuid (65534, 65534, 65534) != 0)
            ::_exit (2);

        RawDevice stranger;
        if (! stranger.connect (busOwner))
            ::_exit (3);
        stranger.send (hello (13, 100));
        ::_exit (stranger.closedByLibrary() ? 0 : 4);
    }

    int status = 0;
    ASSERT_EQ (::waitpid (child, &status, 0), child);
    ASSERT_TRUE (WIFEXITED (status));
    EXPECT_EQ (WEXITSTATUS (status), 0);
    EXPECT_TRUE (log.snapshot().empty());
    EXPECT_TRUE (listed().empty());

    // The bus still works for this user.
    RawDevice device;
    EXPECT_EQ (attach (device, 13, 100), 1);
}
