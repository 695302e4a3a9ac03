// The update path as the program runs it, end to end: MainComponent (headless) opens its
// device link and starts its transfer thread; every report goes runFirmwareTransfer →
// HidTransferLink → HidCtrl → libdevhid → the virtual HID bus → a device that answers at
// once, and every answer comes back bus → libdevhid's thread → callAsync → the JUCE message
// thread (HidUtil, HidCtrl, MainComponent::reportReceived) → reportEvent → the transfer.
//
// Beside it, in the same run, the raw round trip of the same bytes over a Unix stream
// socket between two threads: the floor everything above sits on.
//
//   fullStackTransfer   round trips per second over the data phase, and the updater's CPU
//                       time per report (every thread of the process but the device's)
//   slowDeviceTransfer  a device that answers after 20 ms: the updater's CPU time per wall
//                       second while it waits (no polling, no busy wait)
//   rawSocketRoundTrip  two threads, one socket pair
//
// The package must lie next to the executable, as for the program: the benchmark runs a
// hard-linked copy of itself from a temporary folder that holds the package. It needs the
// bus (devhid-bus.<uid>) free; scripts/bench gives it a network namespace of its own.

#include "devhid/BusDevice.h"
#include "RawSocketRoundTrip.h"
#include "tools/VirtualController.h"
#include "ui/AlineButton.h"
#include "ui/MainComponent.h"
#include "update/PackageWriter.h"
#include "update/UpdatePackage.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace
{
    using Clock = std::chrono::steady_clock;

    constexpr const char* folderVariable = "KVX_TRANSFER_BENCH_FOLDER";

    // Three enabled sections and one carried but not sent; about 17,000 data reports.
    const std::vector<size_t> sectionSizes { 400000, 300000, 20000, 350000 };
    constexpr int disabledSection = 2;

    // The slow device: the header, the first section start and 100 data reports answered
    // after 20 ms each (the rest at once, so that the update still ends soon).
    constexpr int slowAnswerMs = 20;
    constexpr int slowDataReports = 100;

    double seconds (clockid_t clock)
    {
        timespec now {};
        ::clock_gettime (clock, &now);
        return (double) now.tv_sec + (double) now.tv_nsec * 1e-9;
    }

    std::vector<uint8_t> randomBytes (size_t count, unsigned seed)
    {
        std::mt19937 generator (seed);
        std::vector<uint8_t> bytes (count);
        for (auto& byte : bytes)
            byte = (uint8_t) generator();
        return bytes;
    }

    //==============================================================================
    // The JUCE message thread, running its dispatch loop as the program's main thread does.
    class MessageThread
    {
    public:
        MessageThread()
        {
            std::promise<void> ready;
            auto started = ready.get_future();
            thread = std::thread ([this, &ready]
            {
                juce::ScopedJuceInitialiser_GUI juce;
                ready.set_value();
                juce::MessageManager::getInstance()->runDispatchLoop();
            });
            started.wait();
        }

        ~MessageThread()
        {
            juce::MessageManager::getInstance()->stopDispatchLoop();
            thread.join();
        }

        // Runs `work` on the message thread and waits for it.
        void run (std::function<void()> work)
        {
            std::promise<void> done;
            auto finished = done.get_future();
            juce::MessageManager::callAsync ([&] { work(); done.set_value(); });
            finished.wait();
        }

    private:
        std::thread thread;
    };

    // Made on first use, ended before main returns (not among the static destructors,
    // which run after JUCE's own statics are gone).
    std::unique_ptr<MessageThread> runningMessageThread;

    MessageThread& messageThread()
    {
        if (runningMessageThread == nullptr)
            runningMessageThread = std::make_unique<MessageThread>();
        return *runningMessageThread;
    }

    //==============================================================================
    // The device end: a VirtualController on the bus in a thread of its own. From the
    // header's arrival to the answer of data report `window` (0: the last one) it answers
    // after `delayMs`, and notes the time and the CPU time of every thread of the process
    // but its own; after that it answers at once.
    struct Figures
    {
        bool complete = false;
        int reports = 0;          // round trips in the window: header, section starts, data
        double wallSeconds = 0;
        double updaterCpuSeconds = 0;
    };

    class Device
    {
    public:
        Device (int answerDelayMs, int windowDataReports)
            : delayMs (answerDelayMs), window (windowDataReports)
        {
            thread = std::thread ([this] { serve(); });
        }

        // Waits without polling until the controller has answered `finished` (or left).
        void awaitFinished()   { finishedAnswered.get_future().wait(); }

        // Waits for the connection to end (the updater closed its link).
        Figures finish()
        {
            thread.join();
            return figures;
        }

    private:
        static double updaterCpuNow()
        {
            return seconds (CLOCK_PROCESS_CPUTIME_ID) - seconds (CLOCK_THREAD_CPUTIME_ID);
        }

        void serve()
        {
            devhidBus::BusDevice bus;
            VirtualControllerOptions options;
            options.workingAnswers = 0;
            VirtualController controller (options, [] (const std::string&) {});

            if (! bus.connect ({ 13, 100, "bench" }))
            {
                announceFinished();
                return;
            }

            std::vector<uint8_t> report;
            double wallAtHeader = 0, cpuAtHeader = 0;
            int counted = 0, dataReports = 0;
            bool measuring = false;

            while (bus.receiveOutput (report, -1) == devhidBus::BusDevice::Received::report)
            {
                const auto command = report.empty() ? 0 : report[0];

                if (command == reportProtocol::updateHeader)
                {
                    measuring = true;
                    wallAtHeader = seconds (CLOCK_MONOTONIC);
                    cpuAtHeader = updaterCpuNow();
                }

                const auto answer = controller.handle (report.data(), report.size());

                if (measuring && delayMs > 0)
                    std::this_thread::sleep_for (std::chrono::milliseconds (delayMs));

                if (answer.send)
                {
                    const auto input = VirtualController::answerReport (answer);
                    if (! bus.sendInput (input.data(), input.size()))
                        break;
                }

                if (controller.finishedAnswered())
                    announceFinished();

                if (measuring)
                {
                    ++counted;

                    if (command == reportProtocol::sectionData)
                    {
                        ++dataReports;
                        figures.reports = counted;
                        figures.wallSeconds = seconds (CLOCK_MONOTONIC) - wallAtHeader;
                        figures.updaterCpuSeconds = updaterCpuNow() - cpuAtHeader;

                        if (window > 0 && dataReports == window)
                            measuring = false;
                    }
                }
            }

            figures.complete = controller.complete();
            announceFinished();
        }

        void announceFinished()
        {
            if (! announced)
                finishedAnswered.set_value();
            announced = true;
        }

        const int delayMs;
        const int window;
        std::thread thread;
        Figures figures;
        std::promise<void> finishedAnswered;
        bool announced = false;
    };

    //==============================================================================
    // One whole update through MainComponent: built on the message thread, the device
    // arrives, OK and Start are pressed, the transfer thread runs to its end, the
    // component is deleted (which closes the link). Empty error when it went well.
    Figures runUpdate (int answerDelayMs, int windowDataReports, std::string& error)
    {
        auto& messages = messageThread();
        std::unique_ptr<MainComponent> component;
        messages.run ([&] { component = std::make_unique<MainComponent>(); });

        if (! component->getPackage().valid)
            error = "the package next to the benchmark was not read";

        Device device (answerDelayMs, windowDataReports);

        const auto deadline = Clock::now() + std::chrono::seconds (10);
        bool arrived = false;

        while (error.empty() && ! arrived && Clock::now() < deadline)
        {
            messages.run ([&] { arrived = component->getDeviceVersion() == 100; });
            if (! arrived)
                std::this_thread::sleep_for (std::chrono::milliseconds (5));
        }

        if (error.empty() && ! arrived)
            error = "the device did not arrive (is the bus taken?)";

        if (error.empty())
        {
            messages.run ([&]
            {
                component->buttonClicked (&component->getOkButton());   // language → ready
                component->buttonClicked (&component->getOkButton());   // Start
            });

            // Thread::waitForThreadToExit polls every 2 ms: only once the end is near.
            device.awaitFinished();
            component->waitForThreadToExit (-1);

            bool done = false;
            messages.run ([&] { done = component->getScreenState() == updateDone; });

            if (! done)
                error = "the update did not end in updateDone";
        }

        messages.run ([&] { component.reset(); });
        const auto figures = device.finish();

        if (error.empty() && ! figures.complete)
            error = "the device did not receive the whole update";

        return figures;
    }

    struct Totals
    {
        double reports = 0, wall = 0, cpu = 0;
    };

    // Runs the benchmark's iterations with a device that answers as given; false (and the
    // benchmark marked as failed) when an update could not be run.
    bool runIterations (benchmark::State& state, int answerMs, int slowReports, Totals& totals)
    {
        for (auto _ : state)
        {
            std::string error;
            const auto figures = runUpdate (answerMs, slowReports, error);

            if (! error.empty())
            {
                state.SkipWithError (error.c_str());
                return false;
            }

            state.SetIterationTime (figures.wallSeconds);
            totals.reports += figures.reports;
            totals.wall += figures.wallSeconds;
            totals.cpu += figures.updaterCpuSeconds;
        }

        return true;
    }

    void fullStackTransfer (benchmark::State& state)
    {
        Totals totals;

        if (! runIterations (state, 0, 0, totals))
            return;

        state.counters["round_trips_per_s"] = totals.reports / totals.wall;
        state.counters["cpu_us_per_report"] = totals.cpu / totals.reports * 1e6;
        state.counters["reports"] = totals.reports / (double) state.iterations();
    }

    void slowDeviceTransfer (benchmark::State& state)
    {
        Totals totals;

        if (! runIterations (state, slowAnswerMs, slowDataReports, totals))
            return;

        state.counters["cpu_ms_per_wall_s"] = totals.cpu / totals.wall * 1e3;
        state.counters["cpu_us_per_report"] = totals.cpu / totals.reports * 1e6;
        state.counters["answer_ms"] = slowAnswerMs;
    }

    //==============================================================================
    // The same message both ways as on the bus, and what one round trip between two threads
    // costs the machine (both threads).
    void rawSocketRoundTrip (benchmark::State& state)
    {
        rawSocket::roundTrips (state, [&state] (const std::function<void()>& loop)
        {
            const auto cpuBefore = seconds (CLOCK_PROCESS_CPUTIME_ID);
            loop();
            const auto cpu = seconds (CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
            state.counters["cpu_us_per_round_trip"] = cpu / (double) state.iterations() * 1e6;
        });
    }

    //==============================================================================
    // The package beside a hard-linked copy of this program in a temporary folder.
    std::string makeFolder (const std::string& self)
    {
        char pattern[] = "/tmp/kvx-transfer-bench-XXXXXX";
        if (::mkdtemp (pattern) == nullptr)
            return {};

        const std::string folder = pattern;
        const auto bin = self.substr (0, self.rfind ('/'));
        const auto linkOrCopy = [] (const std::string& from, const std::string& to)
        {
            return ::link (from.c_str(), to.c_str()) == 0
                || juce::File (from).copyFileTo (juce::File (to));
        };

        if (! linkOrCopy (self, folder + "/transfer_bench")
            || ! linkOrCopy (bin + "/libdevhid.so", folder + "/libdevhid.so"))
            return {};

        ::chmod ((folder + "/transfer_bench").c_str(), 0755);
        [[maybe_unused]] const auto fonts = ::symlink ((bin + "/fonts").c_str(), (folder + "/fonts").c_str());

        std::vector<PackageSectionSource> sources;
        for (size_t k = 0; k < sectionSizes.size(); ++k)
            sources.push_back ({ randomBytes (sectionSizes[k], (unsigned) k + 1), (int) k != disabledSection });

        const auto bytes = writeUpdatePackage (123, sources);
        if (! juce::File (folder + "/" + packageLayout::fileName).replaceWithData (bytes.data(), bytes.size()))
            return {};

        return folder;
    }
}

BENCHMARK (fullStackTransfer)->UseManualTime()->Iterations (1)->Repetitions (5)->Unit (benchmark::kMillisecond);
BENCHMARK (rawSocketRoundTrip)->UseRealTime()->Repetitions (5)->Unit (benchmark::kMicrosecond);
BENCHMARK (slowDeviceTransfer)->UseManualTime()->Iterations (1)->Repetitions (3)->Unit (benchmark::kMillisecond);

int main (int argc, char** argv)
{
    // Headless: the message thread needs no display.
    ::unsetenv ("DISPLAY");

    if (std::getenv (folderVariable) == nullptr)
    {
        char self[4096] = {};
        if (::readlink ("/proc/self/exe", self, sizeof (self) - 1) <= 0)
            return 1;

        const auto folder = makeFolder (self);
        if (folder.empty())
        {
            std::fprintf (stderr, "transfer_bench: cannot prepare a folder with the package\n");
            return 1;
        }

        ::setenv (folderVariable, folder.c_str(), 1);
        const auto child = ::fork();

        if (child == 0)
        {
            // JUCE finds the executable's folder from argv[0].
            auto linked = folder + "/transfer_bench";
            argv[0] = linked.data();
            ::execv (linked.c_str(), argv);
            _exit (127);
        }

        int status = 1;
        ::waitpid (child, &status, 0);
        juce::File (folder).deleteRecursively();
        return WIFEXITED (status) ? WEXITSTATUS (status) : 1;
    }

    // Repetitions of the benchmarks interleaved, so that a slow spell of the machine
    // touches each of them alike.
    std::vector<char*> arguments (argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert (arguments.begin() + 1, interleave.data());
    int count = (int) arguments.size();

    benchmark::Initialize (&count, arguments.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    runningMessageThread.reset();
    return 0;
}
