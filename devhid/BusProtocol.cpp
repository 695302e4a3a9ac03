#include "devhid/BusProtocol.h"

#include <algorithm>
#include <cstring>

#if ! defined (_WIN32)
#  include <sys/socket.h>
#  include <sys/un.h>
#endif

namespace devhidBus
{
    namespace
    {
        void putInt32 (uint8_t* destination, int32_t value)
        {
            const auto bits = (uint32_t) value;
            for (size_t i = 0; i < 4; ++i)
                destination[i] = (uint8_t) (bits >> (8 * i));
        }

        int32_t getInt32 (const uint8_t* source)
        {
            uint32_t bits = 0;
            for (size_t i = 0; i < 4; ++i)
                bits |= (uint32_t) source[i] << (8 * i);
            return (int32_t) bits;
        }

        bool payloadFits (MessageKind kind, size_t size)
        {
            switch (kind)
            {
                case hello:  return size >= helloFixedSize && size <= largestHelloSize;
                case input:
                case output: return size >= smallestReport && size <= largestReport;
            }
            return false;
        }
    }

#if ! defined (_WIN32)
    std::string socketName (unsigned int uid)
    {
        return "devhid-bus." + std::to_string (uid);
    }

    unsigned int makeAddress (sockaddr_un& address, const std::string& name)
    {
        std::memset (&address, 0, sizeof (address));
        address.sun_family = AF_UNIX;
        const auto length = std::min (name.size(), sizeof (address.sun_path) - 1);
        std::memcpy (address.sun_path + 1, name.data(), length);
        return (unsigned int) (offsetof (sockaddr_un, sun_path) + 1 + length);
    }
#endif

    std::vector<uint8_t> encodeMessage (MessageKind kind, const uint8_t* payload, size_t size)
    {
        if (! payloadFits (kind, size) || payload == nullptr)
            return {};

        std::vector<uint8_t> message (headerSize + size);
        message[kindOffset] = kind;
        message[lengthOffset] = (uint8_t) (size & 0xFF);
        message[lengthOffset + 1] = (uint8_t) (size >> 8);
        std::memcpy (message.data() + headerSize, payload, size);
        return message;
    }

    std::vector<uint8_t> encodeHello (const Hello& hello)
    {
        uint8_t payload[largestHelloSize];
        putInt32 (payload + helloTypeOffset, hello.deviceType);
        putInt32 (payload + helloVersionOffset, hello.firmwareVersion);
        const auto nameSize = std::min (hello.productName.size(), productNameCapacity);
        std::memcpy (payload + helloFixedSize, hello.productName.data(), nameSize);
        return encodeMessage (devhidBus::hello, payload, helloFixedSize + nameSize);
    }

    Hello decodeHello (const uint8_t* payload, size_t size)
    {
        Hello result;
        if (size < helloFixedSize)
            return result;

        result.deviceType = getInt32 (payload + helloTypeOffset);
        result.firmwareVersion = getInt32 (payload + helloVersionOffset);
        const auto nameSize = std::min (size - helloFixedSize, productNameCapacity);
        result.productName.assign (reinterpret_cast<const char*> (payload + helloFixedSize), nameSize);
        return result;
    }

    MessageReader::MessageReader (Sender s) : sender (s) {}

    const char* MessageReader::checkHeader (MessageKind kind, size_t payloadSize) const
    {
        if (kind != hello && kind != input && kind != output)
            return "unknown message kind";

        if (sender == Sender::library)
        {
            if (kind != output)
                return "only OUTPUT comes from the library";
        }
        else
        {
            if (kind == output)
                return "OUTPUT comes only from the library";
            if (kind == hello && sawHello)
                return "second HELLO";
            if (kind != hello && ! sawHello)
                return "message before HELLO";
        }

        if (! payloadFits (kind, payloadSize))
            return "payload size does not fit the message kind";

        return nullptr;
    }

    bool MessageReader::receive (const uint8_t* data, size_t size, Handler& handler)
    {
        while (! broken && size > 0)
        {
            // The header first; a bad header ends the stream before its payload arrives.
            if (expectedSize == 0)
            {
                const auto take = std::min (headerSize - pendingSize, size);
                std::memcpy (pending + pendingSize, data, take);
                pendingSize += take;
                data += take;
                size -= take;

                if (pendingSize < headerSize)
                    break;

                const auto kind = (MessageKind) pending[kindOffset];
                const auto payloadSize = (size_t) pending[lengthOffset]
                                       | ((size_t) pending[lengthOffset + 1] << 8);

                if (const char* problem = checkHeader (kind, payloadSize))
                {
                    broken = true;
                    reason = problem;
                    break;
                }

                expectedSize = headerSize + payloadSize;
            }

            const auto take = std::min (expectedSize - pendingSize, size);
            std::memcpy (pending + pendingSize, data, take);
            pendingSize += take;
            data += take;
            size -= take;

            if (pendingSize < expectedSize)
                break;

            const auto kind = (MessageKind) pending[kindOffset];
            const auto payloadSize = expectedSize - headerSize;
            pendingSize = 0;
            expectedSize = 0;

            if (kind == hello)
                sawHello = true;

            if (! handler.message (kind, pending + headerSize, payloadSize))
            {
                broken = true;
                reason = "refused by the receiver";
            }
        }

        return ! broken;
    }
}
