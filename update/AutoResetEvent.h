#pragma once

// The transfer thread's wait for each answer: an auto-reset event with one waiting thread,
// as the program's `reportEvent`. On Windows it is a Win32 auto-reset event. On Linux it is
// a POSIX semaphore rather than a mutex and condition variable (which juce::WaitableEvent
// is): a woken condition-variable waiter takes the mutex back as contended, so every answer
// would cost a further futex call, and one more thread wake-up whenever the signalling
// thread still held the mutex. The semaphore hands over an answer with one futex wake and
// one futex wait, and none at all when the answer is already there.

#if ! defined(_WIN32)
#include <semaphore.h>
#endif

class AutoResetEvent
{
public:
    AutoResetEvent();
    ~AutoResetEvent();

    // True when signalled within the time (a negative time waits without limit); false on
    // time-out. The event is no longer signalled afterwards: signals that came before the
    // wait returned count as one.
    bool wait (int timeoutMs);

    void signal();
    void reset();

    AutoResetEvent (const AutoResetEvent&) = delete;
    AutoResetEvent& operator= (const AutoResetEvent&) = delete;

private:
#if defined(_WIN32)
    void* handle;
#else
    sem_t semaphore;
#endif
};
