#pragma once

// The hidden callback window that receives the HID library's notifications, as a small
// platform seam. On Windows these are the Win32 calls of the same role; on Linux the
// "window" is a notification target that hands each message to the JUCE message thread,
// in the order the library posted them. Message thread only.

#include <cstdint>

namespace callbackWindow
{
    using ModuleHandle = void*;
    using WindowHandle = void*;
    using WindowProcedure = intptr_t (*) (WindowHandle window, unsigned int message,
                                          uintptr_t wParam, intptr_t lParam);

    // GetModuleHandleA of the program itself.
    ModuleHandle getModuleHandle();

    // RegisterClassA: false when the class is already registered.
    bool registerClass (const char* className, WindowProcedure procedure, ModuleHandle instance);

    // CreateWindowExA of a disabled 10 × 10 window of the class; null on failure. The handle
    // is also what the HID library takes as its notification target.
    WindowHandle createWindow (const char* className, const char* title, ModuleHandle instance);

    // ShowWindow with SW_HIDE.
    void hideWindow (WindowHandle window);

    // DefWindowProcA.
    intptr_t defaultProcedure (WindowHandle window, unsigned int message, uintptr_t wParam, intptr_t lParam);

    // DestroyWindow. Messages still on their way to the window are dropped.
    bool destroyWindow (WindowHandle window);

    // UnregisterClassA.
    bool unregisterClass (const char* className, ModuleHandle instance);
}
