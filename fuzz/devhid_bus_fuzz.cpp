// The bus message reader on arbitrary byte streams, as a device or the library might send
// them: whatever the bytes and however they are cut, the reader hands on only messages that
// fit the bus rules, the same ones in the same order, and never reads outside its input.
//
// Input: byte 0 picks the sender (bit 0) and the piece size (bits 1..7) the stream is cut
// into; the rest is the stream.
#include "devhid/BusProtocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
    struct Message
    {
        devhidBus::MessageKind kind;
        std::vector<uint8_t> payload;
        bool operator== (const Message& other) const { return kind == other.kind && payload == other.payload; }
    };

    struct Collector : devhidBus::MessageReader::Handler
    {
        bool message (devhidBus::MessageKind kind, const uint8_t* payload, size_t size) override
        {
            messages.push_back ({ kind, std::vector<uint8_t> (payload, payload + size) });
            return true;
        }

        std::vector<Message> messages;
    };

    void check (bool condition)
    {
        if (! condition)
            __builtin_trap();
    }
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;

    const auto sender = (data[0] & 1) != 0 ? devhidBus::Sender::library : devhidBus::Sender::device;
    const size_t piece = (size_t) (data[0] >> 1) + 1;
    const size_t streamSize = size - 1;

    // An exact-size copy, so that ASan catches any read past the end.
    std::unique_ptr<uint8_t[]> stream (new uint8_t[streamSize > 0 ? streamSize : 1]);
    if (streamSize > 0)
        std::memcpy (stream.get(), data + 1, streamSize);

    devhidBus::MessageReader whole (sender);
    Collector wholeMessages;
    const bool wholeSound = whole.receive (stream.get(), streamSize, wholeMessages);

    devhidBus::MessageReader cut (sender);
    Collector cutMessages;
    bool cutSound = true;
    for (size_t at = 0; at < streamSize; at += piece)
        cutSound = cut.receive (stream.get() + at, std::min (piece, streamSize - at), cutMessages);

    check (wholeSound == cutSound);
    check (wholeMessages.messages == cutMessages.messages);
    check (wholeSound == ! whole.failed());

    size_t hellos = 0;
    for (size_t i = 0; i < wholeMessages.messages.size(); ++i)
    {
        const auto& message = wholeMessages.messages[i];
        const auto payloadSize = message.payload.size();

        if (sender == devhidBus::Sender::library)
        {
            check (message.kind == devhidBus::output);
        }
        else
        {
            check (message.kind == devhidBus::hello || message.kind == devhidBus::input);
            check ((message.kind == devhidBus::hello) == (i == 0));
        }

        if (message.kind == devhidBus::hello)
        {
            ++hellos;
            check (payloadSize >= devhidBus::helloFixedSize && payloadSize <= devhidBus::largestHelloSize);
            const auto hello = devhidBus::decodeHello (message.payload.data(), payloadSize);
            check (devhidBus::encodeHello (hello).size() == devhidBus::headerSize + payloadSize);
        }
        else
        {
            check (payloadSize >= devhidBus::smallestReport && payloadSize <= devhidBus::largestReport);
        }

        // Every accepted message is exactly what the encoder makes of it.
        const auto encoded = devhidBus::encodeMessage (message.kind, message.payload.data(), payloadSize);
        check (encoded.size() == devhidBus::headerSize + payloadSize);
    }

    check (hellos <= 1);
    return 0;
}
