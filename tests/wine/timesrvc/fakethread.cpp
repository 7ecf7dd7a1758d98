// The worker thread stand-in (see fakethread.h).
#include "tests/wine/timesrvc/fakethread.h"

#include "service/workthread.h"

namespace {

void* g_arg = nullptr;
uintptr_t g_nextHandle = 0x200;

}  // namespace

PortServer* FakeThreadServer() { return static_cast<PortServer*>(g_arg); }

HANDLE StartWorkThread(LPTHREAD_START_ROUTINE, void* arg)
{
    g_arg = arg;
    return reinterpret_cast<HANDLE>(g_nextHandle++);
}

bool JoinWorkThread(HANDLE, DWORD)
{
    g_arg = nullptr;
    return true;
}
