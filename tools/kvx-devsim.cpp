// kvx-devsim: a virtual KVX-70 on the virtual HID bus, so that an update can run, be
// tested and be shown without hardware.

#include "devhid/BusDevice.h"
#include "tools/VirtualController.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{
    constexpr int exitComplete = 0;
    constexpr int exitIncomplete = 1;
    constexpr int exitUsage = 2;
    constexpr int exitNoUpdater = 3;

    // Like a controller plugged in before the updater starts: try the bus this often.
    constexpr int connectRetryMs = 250;

    // After `finished` with --reboot: time until the controller leaves the bus, and until
    // it comes back with its new firmware.
    constexpr int rebootLeaveMs = 500;
    constexpr int rebootAbsenceMs = 500;

    const char* const help =
        "Usage: kvx-devsim [OPTIONS]\n"
        "\n"
        "A virtual KVX-70 controller on the virtual HID bus (devhid-bus.<uid>). It connects\n"
        "(retrying every 250 ms until an updater listens), says HELLO and answers the\n"
        "updater's reports as the controller does: headerAccepted, proceed with the percent\n"
        "of the announced data received, sectionEnd at each section's end, then 'working'\n"
        "a few times and 'finished' when every section matched the header's length and CRC,\n"
        "otherwise 0xFD. It stays on the bus until the updater closes, then prints a summary.\n"
        "\n"
        "  --type N            device type (default 13)\n"
        "  --version X.YZ      firmware version it reports (default 1.00)\n"
        "  --name TEXT         product name in HELLO (default \"KVX-70 (virtual)\")\n"
        "  --delay MS          pause before each answer, 0 to 10000 (default 1)\n"
        "  --working N         'working' answers before 'finished', 0 to 100 (default 3)\n"
        "  --save DIR          save each section received as DIR/section-K.bin\n"
        "  --reboot            after 'finished', leave the bus and come back with the new version\n"
        "  --silent-at POINT   give no answer at POINT\n"
        "  --wrong-at POINT    answer 0xFD at POINT (which no step accepts)\n"
        "  --leave-after N     leave the bus when the Nth report comes, without answering it\n"
        "  --timeout SECONDS   give up after this long in all (default: never)\n"
        "  --tcp               use the TCP bus of the Windows library on 127.0.0.1 instead,\n"
        "                      e.g. the updater running under Wine on this machine\n"
        "  -h, --help          show this help\n"
        "\n"
        "POINT is one of: header, section:K (the start of section K, 1 to 8),\n"
        "data:N (the Nth data report, from 1), status (the first status query).\n"
        "A report hit by a fault is taken but not acted on.\n"
        "\n"
        "Exit status: 0 the update received was complete and correct ('finished' answered),\n"
        "1 it was incomplete or incorrect, 2 usage error, 3 no updater listened in time or\n"
        "the bus failed.\n";

    struct Settings
    {
        devhidBus::Hello hello { 13, 100, "KVX-70 (virtual)" };
        int delayMs = 1;
        std::string saveFolder;
        bool reboot = false;
        bool tcp = false;
        double timeoutSeconds = 0;
        VirtualControllerOptions controller;
    };

    int usageError (const std::string& message)
    {
        std::cerr << "kvx-devsim: " << message << '\n';
        return exitUsage;
    }

    void say (const std::string& line)
    {
        std::printf ("%s\n", line.c_str());
        std::fflush (stdout);
    }

    std::string versionText (int version)
    {
        char text[16];
        std::snprintf (text, sizeof (text), "%d.%02d", version / 100, version % 100);
        return text;
    }

    // "X.YZ", 0.00 to 99.99; -1 when malformed.
    int parseVersion (const std::string& text)
    {
        const auto dot = text.find ('.');
        if (dot == std::string::npos || dot == 0 || dot > 2 || text.size() != dot + 3)
            return -1;

        for (size_t i = 0; i < text.size(); ++i)
            if (i != dot && (text[i] < '0' || text[i] > '9'))
                return -1;

        return std::atoi (text.substr (0, dot).c_str()) * 100 + std::atoi (text.substr (dot + 1).c_str());
    }

    // A decimal integer within [low, high]; false when malformed or outside.
    bool parseInt (const std::string& text, long low, long high, long& value)
    {
        if (text.empty() || text.size() > 10)
            return false;

        char* end = nullptr;
        value = std::strtol (text.c_str(), &end, 10);
        return *end == '\0' && value >= low && value <= high;
    }

    using Clock = std::chrono::steady_clock;

    class Run
    {
    public:
        explicit Run (const Settings& s)
            : settings (s),
              controller (s.controller, say),
              deadline (s.timeoutSeconds > 0
                            ? Clock::now() + std::chrono::milliseconds ((long long) (s.timeoutSeconds * 1000))
                            : Clock::time_point::max())
        {
        }

        int execute()
        {
            say ("kvx-devsim: waiting for an updater on "
                 + (settings.tcp ? "127.0.0.1:" + std::to_string (devhidBus::tcpPort)
                                 : devhidBus::socketName (::getuid())));

            for (;;)
            {
                if (! connect (settings.hello))
                    return finish (exitNoUpdater, "no updater listened in time");

                const auto ending = serve();

                // An updater that closed before sending anything: wait for the next one.
                if (ending == Ending::updaterLeft && controller.reportsHandled() == 0)
                {
                    say ("kvx-devsim: the updater left; waiting for the next one");
                    continue;
                }

                if (ending == Ending::timeLimit)
                    say ("kvx-devsim: time limit reached");
                else if (ending == Ending::updaterLeft)
                    say ("kvx-devsim: the updater left the bus");

                if (ending == Ending::finished)
                    return reboot();

                return finish (controller.complete() ? exitComplete : exitIncomplete, {});
            }
        }

    private:
        enum class Ending { finished, left, updaterLeft, timeLimit };

        int millisecondsLeft() const
        {
            if (deadline == Clock::time_point::max())
                return -1;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds> (deadline - Clock::now()).count();
            return (int) std::max<long long> (0, left);
        }

        bool connect (const devhidBus::Hello& hello)
        {
            while (! (settings.tcp ? device.connectTcp (hello) : device.connect (hello)))
            {
                const int left = millisecondsLeft();
                if (left == 0)
                    return false;
                std::this_thread::sleep_for (std::chrono::milliseconds (left < 0 ? connectRetryMs
                                                                                  : std::min (left, connectRetryMs)));
            }

            say ("kvx-devsim: on the bus as device type " + std::to_string (hello.deviceType)
                 + ", firmware " + versionText (hello.firmwareVersion));
            return true;
        }

        Ending serve()
        {
            std::vector<uint8_t> report;

            for (;;)
            {
                const auto received = device.receiveOutput (report, millisecondsLeft());

                if (received == devhidBus::BusDevice::Received::timeout)
                    return Ending::timeLimit;

                if (received == devhidBus::BusDevice::Received::closed)
                    return Ending::updaterLeft;

                const auto answer = controller.handle (report.data(), report.size());

                if (answer.completedSection != 0)
                    save (answer.completedSection);

                if (answer.send)
                {
                    if (settings.delayMs > 0)
                        std::this_thread::sleep_for (std::chrono::milliseconds (settings.delayMs));

                    const auto input = VirtualController::answerReport (answer);
                    if (! device.sendInput (input.data(), input.size()))
                        return Ending::updaterLeft;
                }

                if (answer.leave)
                {
                    device.disconnect();
                    say ("kvx-devsim: left the bus at report " + std::to_string (controller.reportsHandled()));
                    return Ending::left;
                }

                // A controller that has finished reboots when told to; otherwise it stays,
                // as hardware stays plugged in, so that its last answer is read before it
                // goes (a device that leaves takes its waiting reports with it).
                if (controller.finishedAnswered() && settings.reboot)
                    return Ending::finished;
            }
        }

        void save (int number)
        {
            if (settings.saveFolder.empty())
                return;

            const auto path = settings.saveFolder + "/section-" + std::to_string (number) + ".bin";
            const auto& data = controller.receivedSection (number);
            FILE* file = std::fopen (path.c_str(), "wb");
            bool written = file != nullptr && (data.empty() || std::fwrite (data.data(), 1, data.size(), file) == data.size());

            if (file != nullptr && std::fclose (file) != 0)
                written = false;

            if (! written)
                std::cerr << "kvx-devsim: cannot write '" << path << "'\n";
        }

        int reboot()
        {
            const int result = controller.complete() ? exitComplete : exitIncomplete;

            std::this_thread::sleep_for (std::chrono::milliseconds (rebootLeaveMs));
            device.disconnect();
            say ("reboot: left the bus");
            std::this_thread::sleep_for (std::chrono::milliseconds (rebootAbsenceMs));

            auto hello = settings.hello;
            hello.firmwareVersion = controller.announcedVersion();

            if (! connect (hello))
                return finish (result, "the updater was gone after the reboot");

            // Back with the new firmware: stay until the updater closes.
            std::vector<uint8_t> ignored;
            while (device.receiveOutput (ignored, millisecondsLeft()) == devhidBus::BusDevice::Received::report)
            {
            }

            return finish (result, {});
        }

        int finish (int code, const std::string& note)
        {
            if (! note.empty())
                say ("kvx-devsim: " + note);

            if (code != exitNoUpdater)
                say ("summary: " + controller.summary());

            return code;
        }

        const Settings& settings;
        VirtualController controller;
        devhidBus::BusDevice device;
        const Clock::time_point deadline;
    };
}

int main (int argc, char* argv[])
{
    Settings settings;
    const std::vector<std::string> arguments (argv + 1, argv + argc);

    for (size_t i = 0; i < arguments.size(); ++i)
    {
        const auto& option = arguments[i];

        if (option == "-h" || option == "--help")
        {
            std::cout << help;
            return 0;
        }

        if (option == "--tcp")
        {
            settings.tcp = true;
            continue;
        }

        if (option == "--reboot")
        {
            settings.reboot = true;
            continue;
        }

        static const char* const valued[] = { "--type", "--version", "--name", "--delay", "--working",
                                              "--save", "--silent-at", "--wrong-at", "--leave-after",
                                              "--timeout" };

        if (std::find (std::begin (valued), std::end (valued), option) == std::end (valued))
            return usageError ("unknown option '" + option + "' (see --help)");

        if (i + 1 >= arguments.size())
            return usageError (option + " needs a value");

        const auto& value = arguments[++i];
        long number = 0;

        if (option == "--type")
        {
            if (! parseInt (value, 0, 2147483647L, number))
                return usageError ("--type '" + value + "' is not a device type 0 to 2147483647");
            settings.hello.deviceType = (int32_t) number;
        }
        else if (option == "--version")
        {
            settings.hello.firmwareVersion = parseVersion (value);
            if (settings.hello.firmwareVersion < 0)
                return usageError ("--version '" + value + "' is not X.YZ");
        }
        else if (option == "--name")
        {
            if (value.size() > devhidBus::productNameCapacity)
                return usageError ("--name is longer than 64 bytes");
            settings.hello.productName = value;
        }
        else if (option == "--delay")
        {
            if (! parseInt (value, 0, 10000, number))
                return usageError ("--delay '" + value + "' is not 0 to 10000 ms");
            settings.delayMs = (int) number;
        }
        else if (option == "--working")
        {
            if (! parseInt (value, 0, 100, number))
                return usageError ("--working '" + value + "' is not 0 to 100");
            settings.controller.workingAnswers = (int) number;
        }
        else if (option == "--save")
        {
            settings.saveFolder = value;
        }
        else if (option == "--silent-at" || option == "--wrong-at")
        {
            const auto point = FaultPoint::parse (value);
            if (point.kind == FaultPoint::none)
                return usageError (option + " '" + value + "' is not header, section:K, data:N or status");
            (option == "--silent-at" ? settings.controller.silentAt : settings.controller.wrongAt) = point;
        }
        else if (option == "--leave-after")
        {
            if (! parseInt (value, 1, 100000000, number))
                return usageError ("--leave-after '" + value + "' is not a number of reports from 1");
            settings.controller.leaveAfterReports = (int) number;
        }
        else if (option == "--timeout")
        {
            char* end = nullptr;
            settings.timeoutSeconds = std::strtod (value.c_str(), &end);
            if (value.empty() || *end != '\0' || ! (settings.timeoutSeconds > 0 && settings.timeoutSeconds <= 86400))
                return usageError ("--timeout '" + value + "' is not a number of seconds above 0, at most 86400");
        }
    }

    if (! settings.saveFolder.empty())
    {
        ::mkdir (settings.saveFolder.c_str(), 0777);
        struct stat info {};
        if (::stat (settings.saveFolder.c_str(), &info) != 0 || ! S_ISDIR (info.st_mode))
            return usageError ("--save '" + settings.saveFolder + "' is not a folder and cannot be made one");
    }

    return Run (settings).execute();
}
