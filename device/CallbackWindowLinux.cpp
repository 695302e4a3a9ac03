// The callback window on Linux: a HID_NotifyTarget whose post hands each message to the
// JUCE message thread (callAsync keeps their order), where the window procedure runs.

#include "device/CallbackWindow.h"

#include "devhid/devhid.h"

#include <juce_events/juce_events.h>

#include <atomic>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

namespace callbackWindow
{
    namespace
    {
        struct WindowClass
        {
            WindowProcedure procedure;
            ModuleHandle instance;
        };

        std::map<std::string, WindowClass>& registeredClasses()
        {
            static std::map<std::string, WindowClass> classes;
            return classes;
        }

        struct Window
        {
            // First, so that the window handle is also the library's notification target.
            HID_NotifyTarget target;
            WindowProcedure procedure;

            // Cleared when the window is destroyed; messages queued for the message thread
            // hold it and check it there, instead of touching a deleted window.
            std::shared_ptr<std::atomic<bool>> alive;
        };

        static_assert (std::is_standard_layout_v<Window>);

        // Called on the library's thread while the window exists.
        void post (void* context, unsigned int message, unsigned int wParam)
        {
            auto* window = static_cast<Window*> (context);
            auto alive = window->alive;
            const auto procedure = window->procedure;

            juce::MessageManager::callAsync ([alive, procedure, window, message, wParam]
            {
                if (alive->load())
                    procedure (window, message, (uintptr_t) wParam, 0);
            });
        }
    }

    ModuleHandle getModuleHandle()
    {
        Dl_info info {};
        if (::dladdr (reinterpret_cast<void*> (&getModuleHandle), &info) == 0)
            return nullptr;
        return info.dli_fbase;
    }

    bool registerClass (const char* className, WindowProcedure procedure, ModuleHandle instance)
    {
        if (className == nullptr || procedure == nullptr)
            return false;

        return registeredClasses().emplace (className, WindowClass { procedure, instance }).second;
    }

    WindowHandle createWindow (const char* className, const char*, ModuleHandle)
    {
        if (className == nullptr)
            return nullptr;

        const auto found = registeredClasses().find (className);
        if (found == registeredClasses().end())
            return nullptr;

        auto* window = new Window { { post, nullptr }, found->second.procedure,
                                    std::make_shared<std::atomic<bool>> (true) };
        window->target.context = window;
        return window;
    }

    void hideWindow (WindowHandle) {}

    intptr_t defaultProcedure (WindowHandle, unsigned int, uintptr_t, intptr_t)
    {
        return 0;
    }

    bool destroyWindow (WindowHandle handle)
    {
        if (handle == nullptr)
            return false;

        auto* window = static_cast<Window*> (handle);
        window->alive->store (false);
        delete window;
        return true;
    }

    bool unregisterClass (const char* className, ModuleHandle)
    {
        return className != nullptr && registeredClasses().erase (className) > 0;
    }
}
