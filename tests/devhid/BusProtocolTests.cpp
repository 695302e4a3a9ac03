// The bus message reader and encoder on their own, without sockets.

#include "BusTestSupport.h"

#include "devhid/BusProtocol.h"

#include <sys/un.h>

using namespace devhidBus;

namespace
{
    struct Collected : MessageReader::Handler
    {
        bool message (MessageKind kind, const uint8_t* payload, size_t size) override
        {
            messages.push_back ({ kind, std::vector<uint8_t> (payload, payload + size) });
            return refuseAfter < 0 || (int) messages.size() < refuseAfter;
        }

        std::vector<std::pair<MessageKind, std::vector<uint8_t>>> messages;
        int refuseAfter = -1;
    };

    std::vector<uint8_t> join (std::initializer_list<std::vector<uint8_t>> parts)
    {
        std::vector<uint8_t> all;
        for (const auto& part : parts)
            all.insert (all.end(), part.begin(), part.end());
        return all;
    }
}

TEST (BusProtocol, TheSocketNameAndAddressAreAbstractWithoutATerminatingNul)
{
    EXPECT_EQ (socketName (1000), "devhid-bus.1000");

    sockaddr_un address;
    const auto length = makeAddress (address, "devhid-bus.0");
    EXPECT_EQ (address.sun_family, AF_UNIX);
    EXPECT_EQ (address.sun_path[0], '\0');
    EXPECT_EQ (std::string (address.sun_path + 1, 12), "devhid-bus.0");
    EXPECT_EQ (length, offsetof (sockaddr_un, sun_path) + 1 + 12);
}

TEST (BusProtocol, EncodesTheExactBytesTheOtherToolsSpeak)
{
    EXPECT_EQ (encodeHello ({ 13, 123, "KVX" }), busTest::hello (13, 123, "KVX"));
    EXPECT_EQ (encodeHello ({ -2, 0x01020304, "" }),
               (std::vector<uint8_t> { 0x01, 8, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01 }));

    const uint8_t report[] = { 0xF0, 0x01 };
    EXPECT_EQ (encodeMessage (output, report, 2), (std::vector<uint8_t> { 0x03, 2, 0, 0xF0, 0x01 }));

    std::vector<uint8_t> largest (256, 0x11);
    EXPECT_EQ (encodeMessage (input, largest.data(), 256).size(), 259u);
    EXPECT_TRUE (encodeMessage (input, largest.data(), 0).empty());
    std::vector<uint8_t> tooLarge (257);
    EXPECT_TRUE (encodeMessage (output, tooLarge.data(), 257).empty());

    // A name longer than 64 bytes is cut to 64 when encoded.
    EXPECT_EQ (encodeHello ({ 13, 100, std::string (80, 'n') }).size(), 3u + 8u + 64u);
}

TEST (BusProtocol, DecodesHello)
{
    const auto bytes = busTest::helloPayload (13, 245, "KVX-70 (virtual)");
    const auto decoded = decodeHello (bytes.data(), bytes.size());
    EXPECT_EQ (decoded.deviceType, 13);
    EXPECT_EQ (decoded.firmwareVersion, 245);
    EXPECT_EQ (decoded.productName, "KVX-70 (virtual)");
}

TEST (BusProtocol, ReadsMessagesWhateverTheWayTheStreamIsCut)
{
    const auto stream = join ({ busTest::hello (13, 100, "x"), busTest::inputMessage ({ 1 }),
                                busTest::inputMessage (std::vector<uint8_t> (256, 7)), busTest::inputMessage ({ 2, 3 }) });

    for (const size_t piece : { (size_t) 1, (size_t) 2, (size_t) 3, (size_t) 5, (size_t) 64, stream.size() })
    {
        SCOPED_TRACE (piece);
        MessageReader reader (Sender::device);
        Collected collected;

        for (size_t at = 0; at < stream.size(); at += piece)
            ASSERT_TRUE (reader.receive (stream.data() + at, std::min (piece, stream.size() - at), collected));

        ASSERT_EQ (collected.messages.size(), 4u);
        EXPECT_EQ (collected.messages[0].first, hello);
        EXPECT_EQ (collected.messages[1].second, (std::vector<uint8_t> { 1 }));
        EXPECT_EQ (collected.messages[2].second.size(), 256u);
        EXPECT_EQ (collected.messages[3].second, (std::vector<uint8_t> { 2, 3 }));
        EXPECT_TRUE (reader.helloSeen());
        EXPECT_FALSE (reader.failed());
    }
}

TEST (BusProtocol, EndsTheStreamAtTheFirstBrokenRule)
{
    struct Case
    {
        const char* what;
        Sender sender;
        std::vector<uint8_t> bytes;
        size_t messagesBefore;
    };

    const auto helloBytes = busTest::hello (13, 100);
    const Case cases[] = {
        { "unknown kind",               Sender::device,  { 0x07, 1, 0, 0 }, 0 },
        { "input before hello",         Sender::device,  busTest::inputMessage ({ 1 }), 0 },
        { "output from a device",       Sender::device,  join ({ helloBytes, busTest::message (0x03, { 1 }) }), 1 },
        { "second hello",               Sender::device,  join ({ helloBytes, helloBytes }), 1 },
        { "hello too short",            Sender::device,  busTest::message (0x01, std::vector<uint8_t> (7)), 0 },
        { "hello too long",             Sender::device,  busTest::message (0x01, std::vector<uint8_t> (73)), 0 },
        { "empty input",                Sender::device,  join ({ helloBytes, busTest::message (0x02, {}) }), 1 },
        { "input of 257 bytes",         Sender::device,  join ({ helloBytes, busTest::message (0x02, std::vector<uint8_t> (257)) }), 1 },
        { "header only, huge length",   Sender::device,  join ({ helloBytes, { 0x02, 0xFF, 0xFF } }), 1 },
        { "hello from the library",     Sender::library, helloBytes, 0 },
        { "input from the library",     Sender::library, busTest::inputMessage ({ 1 }), 0 },
        { "empty output",               Sender::library, busTest::message (0x03, {}), 0 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        MessageReader reader (c.sender);
        Collected collected;

        EXPECT_FALSE (reader.receive (c.bytes.data(), c.bytes.size(), collected));
        EXPECT_TRUE (reader.failed());
        EXPECT_STRNE (reader.violation(), "");
        EXPECT_EQ (collected.messages.size(), c.messagesBefore);

        // Broken for good: even a valid message is not read any more.
        const auto more = busTest::inputMessage ({ 9 });
        EXPECT_FALSE (reader.receive (more.data(), more.size(), collected));
        EXPECT_EQ (collected.messages.size(), c.messagesBefore);
    }
}

TEST (BusProtocol, AReceiverThatRefusesAMessageEndsTheStream)
{
    const auto stream = join ({ busTest::hello (13, 100), busTest::inputMessage ({ 1 }), busTest::inputMessage ({ 2 }) });
    MessageReader reader (Sender::device);
    Collected collected;
    collected.refuseAfter = 2;

    EXPECT_FALSE (reader.receive (stream.data(), stream.size(), collected));
    EXPECT_EQ (collected.messages.size(), 2u);
}

TEST (BusProtocol, TheLibrarysOutputIsReadOnTheDevicesSide)
{
    const uint8_t report[64] = { 0xF2 };
    const auto bytes = encodeMessage (output, report, 64);
    MessageReader reader (Sender::library);
    Collected collected;

    EXPECT_TRUE (reader.receive (bytes.data(), bytes.size(), collected));
    ASSERT_EQ (collected.messages.size(), 1u);
    EXPECT_EQ (collected.messages[0].first, output);
    EXPECT_EQ (collected.messages[0].second.size(), 64u);
}
