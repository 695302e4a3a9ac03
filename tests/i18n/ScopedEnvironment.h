#pragma once

#include <cstdlib>
#include <string>

// Sets (or, with nullptr, removes) an environment variable for one test and restores it
// when the test ends: the locale tests change only their own process's environment.
struct ScopedEnvironment
{
    ScopedEnvironment (const char* nameToSet, const char* value) : name (nameToSet)
    {
        if (const char* old = std::getenv (name))
            previous = old, hadValue = true;

        if (value != nullptr)
            ::setenv (name, value, 1);
        else
            ::unsetenv (name);
    }

    ~ScopedEnvironment()
    {
        if (hadValue)
            ::setenv (name, previous.c_str(), 1);
        else
            ::unsetenv (name);
    }

    const char* name;
    std::string previous;
    bool hadValue = false;
};
