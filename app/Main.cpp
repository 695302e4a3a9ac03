// The program's entry point: the framework's application runner with our Application.
#include "app/Application.h"

#if JUCE_WINDOWS

namespace
{
    juce::JUCEApplicationBase* createApplication()
    {
        return new Application();
    }
}

// The four arguments are not looked at: the runner takes the command line from the system
// (and drops its first token, the program's own path), creates the one Application and
// runs it; its result is the exit code.
extern "C" int __stdcall WinMain (struct HINSTANCE__*, struct HINSTANCE__*, char*, int)
{
    juce::JUCEApplicationBase::createInstance = &createApplication;
    return juce::JUCEApplicationBase::main();
}

#else

START_JUCE_APPLICATION (Application)

#endif
