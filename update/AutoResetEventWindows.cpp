#include "update/AutoResetEvent.h"

#include <windows.h>

AutoResetEvent::AutoResetEvent()    : handle (::CreateEventW (nullptr, FALSE, FALSE, nullptr)) {}
AutoResetEvent::~AutoResetEvent()   { ::CloseHandle (static_cast<HANDLE> (handle)); }

bool AutoResetEvent::wait (int timeoutMs)
{
    const DWORD limit = timeoutMs < 0 ? INFINITE : (DWORD) timeoutMs;
    return ::WaitForSingleObject (static_cast<HANDLE> (handle), limit) == WAIT_OBJECT_0;
}

void AutoResetEvent::signal()   { ::SetEvent (static_cast<HANDLE> (handle)); }
void AutoResetEvent::reset()    { ::ResetEvent (static_cast<HANDLE> (handle)); }
