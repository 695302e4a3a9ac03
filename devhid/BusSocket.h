#pragma once

// The virtual bus's sockets, as a small platform seam: on Linux a Unix stream socket on the
// abstract name "devhid-bus.<uid>" that only processes of the same user may connect to, on
// Windows TCP on 127.0.0.1:tcpPort. The bus source above it, with its devices, their
// messages and its worker, is the same on both.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace devhid::busSocket
{
    // A descriptor on Linux, a SOCKET on Windows.
    using Socket = std::intptr_t;
    constexpr Socket invalid = -1;

    // Makes sockets usable (Winsock on Windows); each successful call wants a cleanUp.
    bool startUp();
    void cleanUp();

    // The bus's listening socket, non-blocking; invalid while the name or port is taken.
    Socket listen();

    enum class Accepted
    {
        device,             // `socket` is the new connection, non-blocking
        refused,            // a connection that may not become a device; it is closed
        none,               // nobody else is waiting
        outOfDescriptors    // the pending connections wait until some close
    };

    Accepted accept (Socket listener, Socket& socket);

    // Sends without blocking: the bytes taken, 0 when the socket takes none now, -1 when
    // the connection has failed.
    long send (Socket socket, const uint8_t* data, size_t size);

    // The bytes received, 0 at the end of the connection, -1 when nothing is waiting, -2
    // when the connection has failed.
    long receive (Socket socket, uint8_t* buffer, size_t capacity);

    // Waits at most timeoutMs for `socket` to take more.
    void waitWritable (Socket socket, int timeoutMs);

    struct Polled
    {
        Socket socket;
        bool ready = false;
    };

    // Waits until one of `sockets` has something to read (or has ended), at most timeoutMs
    // (-1: without limit), and marks those. The number marked, or -1 when waiting failed.
    int waitReadable (std::vector<Polled>& sockets, int timeoutMs);

    void shutdown (Socket socket);
    void close (Socket socket);

    // What wakes the worker out of waitReadable: `readable()` becomes readable after wake().
    class Waker
    {
    public:
        Waker();
        ~Waker();

        bool valid() const          { return socket != invalid; }
        Socket readable() const     { return socket; }
        void wake();

        Waker (const Waker&) = delete;
        Waker& operator= (const Waker&) = delete;

    private:
        Socket socket = invalid;
    };
}
