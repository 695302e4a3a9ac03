#include "update/AutoResetEvent.h"

#include <cerrno>
#include <ctime>

// ThreadSanitizer knows sem_post but not sem_clockwait: without this it would take the
// hand-over of an answer for a data race.
#if defined (__SANITIZE_THREAD__)
 #include <sanitizer/tsan_interface.h>
 #define KVX_SEMAPHORE_ACQUIRED(address) __tsan_acquire (address)
#else
 #define KVX_SEMAPHORE_ACQUIRED(address)
#endif

// The count of the semaphore is the number of signals not yet consumed; a wait consumes
// one, and then the rest (sem_trywait takes no system call), so that the event behaves as
// auto-reset rather than counting.

AutoResetEvent::AutoResetEvent()    { ::sem_init (&semaphore, 0, 0); }
AutoResetEvent::~AutoResetEvent()   { ::sem_destroy (&semaphore); }

bool AutoResetEvent::wait (int timeoutMs)
{
    int result;

    if (timeoutMs < 0)
    {
        do result = ::sem_wait (&semaphore);
        while (result != 0 && errno == EINTR);
    }
    else
    {
        timespec deadline {};
        ::clock_gettime (CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += timeoutMs / 1000;
        deadline.tv_nsec += (long) (timeoutMs % 1000) * 1000000L;

        if (deadline.tv_nsec >= 1000000000L)
        {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }

        do result = ::sem_clockwait (&semaphore, CLOCK_MONOTONIC, &deadline);
        while (result != 0 && errno == EINTR);
    }

    if (result != 0)
        return false;

    KVX_SEMAPHORE_ACQUIRED (&semaphore);
    reset();
    return true;
}

void AutoResetEvent::signal()
{
    ::sem_post (&semaphore);
}

void AutoResetEvent::reset()
{
    while (::sem_trywait (&semaphore) == 0) {}
}
