// startup_probe: starts a window program on the X display and measures, from the moment
// before exec to the first frame that shows its content, how long it took; then reads the
// program's peak memory (VmHWM) and ends it with SIGTERM. Prints one line of JSON.
//
// A frame shows the content when the program's top-level window is viewable and its pixels
// hold, as both the updater's language screen and the bare window draw them, the
// background colour (234, 234, 234) at (10, 10) and dark text pixels in the rectangle
// (20, 20)–(220, 40). The program is not changed for this: only its pixels are looked at,
// every 2 ms, so that the probe takes little of the CPU the program needs.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
    using Clock = std::chrono::steady_clock;

    const char* const help =
        "Usage: startup_probe [--hold-ms N] [--timeout-s N] PROGRAM\n"
        "Starts PROGRAM on $DISPLAY, waits for its first painted frame and prints\n"
        "{\"first_frame_ms\": ..., \"vm_hwm_kb\": ...}. --hold-ms: time the program keeps\n"
        "running after the frame before its peak memory is read (default 500).\n";

    int ignoreErrors (Display*, XErrorEvent*) { return 0; }

    bool isDark (unsigned long pixel)
    {
        const auto r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
        return r < 100 && g < 100 && b < 100;
    }

    // True when `window` or one of its children is a viewable window at least 400 × 150
    // whose pixels show the content.
    bool showsContent (Display* display, Window window, int depth)
    {
        XWindowAttributes attributes;
        if (! XGetWindowAttributes (display, window, &attributes))
            return false;

        if (depth > 0 && attributes.map_state != IsViewable)
            return false;

        if (depth > 0 && attributes.width >= 400 && attributes.height >= 150)
        {
            XImage* image = XGetImage (display, window, 0, 0, 230, 45, AllPlanes, ZPixmap);
            if (image == nullptr)
                return false;

            bool background = (XGetPixel (image, 10, 10) & 0xFFFFFF) == 0xEAEAEA;
            bool text = false;

            for (int y = 20; background && ! text && y < 40; ++y)
                for (int x = 20; ! text && x < 220; ++x)
                    text = isDark (XGetPixel (image, x, y));

            XDestroyImage (image);

            if (background && text)
                return true;
        }

        if (depth >= 2)
            return false;

        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        if (! XQueryTree (display, window, &root, &parent, &children, &count))
            return false;

        bool found = false;
        for (unsigned int i = 0; i < count && ! found; ++i)
            found = showsContent (display, children[i], depth + 1);

        if (children != nullptr)
            XFree (children);

        return found;
    }

    long peakMemoryKb (pid_t pid)
    {
        std::ifstream status ("/proc/" + std::to_string (pid) + "/status");
        std::string line;
        while (std::getline (status, line))
            if (line.rfind ("VmHWM:", 0) == 0)
                return std::atol (line.c_str() + 6);
        return -1;
    }
}

int main (int argc, char** argv)
{
    int holdMs = 500;
    int timeoutS = 30;
    const char* program = nullptr;

    for (int i = 1; i < argc; ++i)
    {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help")
        {
            std::fputs (help, stdout);
            return 0;
        }
        if ((argument == "--hold-ms" || argument == "--timeout-s") && i + 1 < argc)
            (argument == "--hold-ms" ? holdMs : timeoutS) = std::atoi (argv[++i]);
        else if (program == nullptr && argument[0] != '-')
            program = argv[i];
        else
        {
            std::fprintf (stderr, "startup_probe: unexpected argument '%s' (see --help)\n", argv[i]);
            return 2;
        }
    }

    if (program == nullptr)
    {
        std::fprintf (stderr, "startup_probe: no program given (see --help)\n");
        return 2;
    }

    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr)
    {
        std::fprintf (stderr, "startup_probe: cannot open the X display\n");
        return 1;
    }
    XSetErrorHandler (ignoreErrors);

    const auto started = Clock::now();
    const pid_t child = ::fork();

    if (child == 0)
    {
        ::execl (program, program, (char*) nullptr);
        _exit (127);
    }

    double firstFrameMs = -1;
    const auto deadline = started + std::chrono::seconds (timeoutS);

    while (Clock::now() < deadline)
    {
        if (showsContent (display, DefaultRootWindow (display), 0))
        {
            firstFrameMs = std::chrono::duration<double, std::milli> (Clock::now() - started).count();
            break;
        }

        int status = 0;
        if (::waitpid (child, &status, WNOHANG) == child)
        {
            std::fprintf (stderr, "startup_probe: %s ended before it showed a frame\n", program);
            return 1;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }

    std::this_thread::sleep_for (std::chrono::milliseconds (holdMs));
    const long hwm = peakMemoryKb (child);
    ::kill (child, SIGTERM);

    int status = 0;
    if (::waitpid (child, &status, 0) != child)
        ::kill (child, SIGKILL);

    XCloseDisplay (display);

    if (firstFrameMs < 0)
    {
        std::fprintf (stderr, "startup_probe: %s showed no frame within %d s\n", program, timeoutS);
        return 1;
    }

    std::printf ("{\"first_frame_ms\": %.1f, \"vm_hwm_kb\": %ld}\n", firstFrameMs, hwm);
    return 0;
}
