// The callback window on Windows: a real hidden window, to which the HID library posts its
// messages; the window procedure runs on the thread that created it (JUCE's message thread).

#include "device/CallbackWindow.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <type_traits>

namespace callbackWindow
{
    // On x64 Windows there is one calling convention, and these types are the ones of a
    // WNDPROC: the procedure can be registered as it is.
    static_assert (sizeof (void*) == 8, "the callback window is built for 64-bit Windows");
    static_assert (std::is_same_v<LRESULT, intptr_t> && std::is_same_v<WPARAM, uintptr_t>
                   && std::is_same_v<LPARAM, intptr_t>);

    ModuleHandle getModuleHandle()
    {
        return ::GetModuleHandleA (nullptr);
    }

    bool registerClass (const char* className, WindowProcedure procedure, ModuleHandle instance)
    {
        WNDCLASSA windowClass {};
        windowClass.style = 0;
        windowClass.lpfnWndProc = reinterpret_cast<WNDPROC> (procedure);
        windowClass.cbClsExtra = 0;
        windowClass.cbWndExtra = 0;
        windowClass.hInstance = static_cast<HINSTANCE> (instance);
        windowClass.hIcon = nullptr;
        windowClass.hCursor = ::LoadCursorA (nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH> (::GetStockObject (BLACK_BRUSH));
        windowClass.lpszMenuName = nullptr;
        windowClass.lpszClassName = className;
        return ::RegisterClassA (&windowClass) != 0;
    }

    WindowHandle createWindow (const char* className, const char* title, ModuleHandle instance)
    {
        return ::CreateWindowExA (0, className, title, WS_OVERLAPPEDWINDOW | WS_DISABLED,
                                  0, 0, 10, 10, nullptr, nullptr, static_cast<HINSTANCE> (instance), nullptr);
    }

    void hideWindow (WindowHandle window)
    {
        ::ShowWindow (static_cast<HWND> (window), SW_HIDE);
    }

    intptr_t defaultProcedure (WindowHandle window, unsigned int message, uintptr_t wParam, intptr_t lParam)
    {
        return ::DefWindowProcA (static_cast<HWND> (window), message, wParam, lParam);
    }

    bool destroyWindow (WindowHandle window)
    {
        return ::DestroyWindow (static_cast<HWND> (window)) != 0;
    }

    bool unregisterClass (const char* className, ModuleHandle instance)
    {
        return ::UnregisterClassA (className, static_cast<HINSTANCE> (instance)) != 0;
    }
}
