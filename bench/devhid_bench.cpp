// Round trips per second through libdevhid alone: HID_Write → a virtual device that answers
// at once → the input message posted → HID_Input. Beside it, in the same run, the raw round
// trip of the same bytes over a Unix stream socket between two threads: the floor the
// library's own work sits on. Needs the bus (devhid-bus.<uid>) free.

#include "devhid/BusDevice.h"
#include "devhid/devhid.h"

#include "RawSocketRoundTrip.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace
{
    using rawSocket::reportBytes;

    // Counts the library's notifications and lets the benchmark thread wait for them.
    struct Notifications
    {
        static void post (void* context, unsigned int message, unsigned int wParam)
        {
            auto* self = static_cast<Notifications*> (context);
            {
                const std::lock_guard<std::mutex> guard (self->lock);
                if (message == 1026)
                    self->arrived = (int) wParam;
                else if (message == 1027)
                    ++self->inputs;
            }
            self->changed.notify_one();
        }

        void waitForInput()
        {
            std::unique_lock<std::mutex> guard (lock);
            changed.wait (guard, [this] { return inputs > 0; });
            --inputs;
        }

        int waitForArrival()
        {
            std::unique_lock<std::mutex> guard (lock);
            changed.wait_for (guard, std::chrono::seconds (10), [this] { return arrived > 0; });
            return arrived;
        }

        std::mutex lock;
        std::condition_variable changed;
        int inputs = 0;
        int arrived = 0;
        HID_NotifyTarget target { &Notifications::post, this };
    };

    void libraryRoundTrip (benchmark::State& state)
    {
        Notifications notifications;
        HID_Initialize (nullptr);
        HID_SetCallback (&notifications.target, 1027, 1026, 1025);
        if (HID_Start() != 1)
        {
            state.SkipWithError ("the bus is taken by another process");
            return;
        }

        // The device answers every output report at once with the same bytes.
        std::thread device ([]
        {
            devhidBus::BusDevice bus;
            if (! bus.connect ({ 13, 100, "bench" }))
                return;
            std::vector<uint8_t> report;
            while (bus.receiveOutput (report, -1) == devhidBus::BusDevice::Received::report)
                if (! bus.sendInput (report.data(), report.size()))
                    return;
        });

        const int hidNumber = notifications.waitForArrival();
        uint8_t report[reportBytes] = { 0xF3 };
        uint8_t answer[HID_REPORT_CAPACITY];

        if (hidNumber <= 0)
            state.SkipWithError ("the device did not arrive");
        else
            for (auto _ : state)
            {
                HID_Write (hidNumber, report, (int32_t) reportBytes);
                notifications.waitForInput();
                int32_t length = sizeof (answer);
                HID_Input (hidNumber, answer, &length);
                benchmark::DoNotOptimize (length);
            }

        HID_Stop();
        HID_SetCallback (nullptr, 0, 0, 0);
        HID_Finalize();
        device.join();

        state.counters["round_trips_per_s"] = benchmark::Counter ((double) state.iterations(), benchmark::Counter::kIsRate);
    }

    void rawSocketRoundTrip (benchmark::State& state)
    {
        rawSocket::roundTrips (state);
    }
}

BENCHMARK (libraryRoundTrip)->UseRealTime()->Unit (benchmark::kMicrosecond);
BENCHMARK (rawSocketRoundTrip)->UseRealTime()->Unit (benchmark::kMicrosecond);
