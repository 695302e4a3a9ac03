#pragma once

// The virtual HID bus: a Unix-domain stream socket in the Linux abstract namespace,
// "devhid-bus.<uid>", on which libdevhid listens and to which every virtual device connects.
// On Windows the library listens on TCP instead, on 127.0.0.1:tcpPort only, with the same
// messages; a virtual device on the same machine (also a Linux one beside Wine, whose
// sockets are the host's) connects there.
// Every message is a 3-byte header (kind, payload length little-endian) and the payload.
// Declared once here for the library, kvx-devsim, the tests and the fuzz target.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct sockaddr_un;

namespace devhidBus
{
    enum MessageKind : uint8_t
    {
        hello  = 0x01,   // device → library, first message: type, version, optional name
        input  = 0x02,   // device → library: one input report
        output = 0x03,   // library → device: the bytes given to HID_Write
    };

    constexpr size_t headerSize = 3;
    constexpr size_t kindOffset = 0;
    constexpr size_t lengthOffset = 1;

    // HELLO payload: device type and firmware version (major × 100 + minor), both int32
    // little-endian, then at most 64 bytes of UTF-8 product name.
    constexpr size_t helloTypeOffset = 0;
    constexpr size_t helloVersionOffset = 4;
    constexpr size_t helloFixedSize = 8;
    constexpr size_t productNameCapacity = 64;
    constexpr size_t largestHelloSize = helloFixedSize + productNameCapacity;

    // INPUT and OUTPUT carry one report of 1 to 256 bytes.
    constexpr size_t smallestReport = 1;
    constexpr size_t largestReport = 256;

    // Input reports waiting per device; one more is a protocol violation.
    constexpr size_t inputQueueCapacity = 1024;

    constexpr size_t largestMessage = headerSize + largestReport;

    // The one TCP port of the bus on Windows, on the loopback address only.
    constexpr uint16_t tcpPort = 47070;

#if ! defined (_WIN32)
    // "devhid-bus.<uid>" for the given real user id.
    std::string socketName (unsigned int uid);

    // Fills an abstract-namespace address for the name: sun_path is one NUL byte and the
    // name, and the returned length counts no terminating NUL.
    unsigned int makeAddress (sockaddr_un& address, const std::string& name);
#endif

    struct Hello
    {
        int32_t deviceType = 0;
        int32_t firmwareVersion = 0;
        std::string productName;
    };

    // A whole message; an empty vector when the payload does not fit its kind.
    std::vector<uint8_t> encodeMessage (MessageKind kind, const uint8_t* payload, size_t size);
    std::vector<uint8_t> encodeHello (const Hello& hello);

    // Reads a HELLO payload that MessageReader has accepted.
    Hello decodeHello (const uint8_t* payload, size_t size);

    // Who wrote the byte stream a reader takes apart.
    enum class Sender
    {
        device,    // HELLO first, then INPUT only
        library,   // OUTPUT only
    };

    // Takes a connection's byte stream apart into messages and checks each against the bus
    // rules as soon as its header is complete: a known kind in the right direction, a
    // payload size that fits the kind, HELLO first and only once. The first violation ends
    // the stream for good.
    class MessageReader
    {
    public:
        struct Handler
        {
            // A complete, valid message. Returning false ends the stream as a violation
            // (the library does so when a device's input queue is full).
            virtual bool message (MessageKind kind, const uint8_t* payload, size_t size) = 0;

        protected:
            ~Handler() = default;
        };

        explicit MessageReader (Sender sender);

        // Hands every complete message in [data, data + size) to the handler, in order, and
        // keeps a trailing partial message for the next call. Returns false once the stream
        // has broken a rule; later calls then do nothing and return false.
        bool receive (const uint8_t* data, size_t size, Handler& handler);

        bool failed() const { return broken; }
        bool helloSeen() const { return sawHello; }

        // Why the stream was ended, for diagnostics; empty while it is sound.
        const char* violation() const { return reason; }

    private:
        const char* checkHeader (MessageKind kind, size_t payloadSize) const;

        Sender sender;
        bool broken = false;
        bool sawHello = false;
        const char* reason = "";
        uint8_t pending[largestMessage];
        size_t pendingSize = 0;
        size_t expectedSize = 0;   // whole message size once the header is known, else 0
    };
}
