// The service's worker threads (see workthread.h).
#include "service/workthread.h"

HANDLE StartWorkThread(LPTHREAD_START_ROUTINE entry, void* arg)
{
    // Windows 95 wants the id's address, not null.
    DWORD id = 0;
    return CreateThread(nullptr, 0, entry, arg, 0, &id);
}

bool JoinWorkThread(HANDLE thread, DWORD timeoutMs)
{
    if (WaitForSingleObject(thread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(thread);
    return true;
}
