// Failed-check report for the Windows program: a message box, then exit 3.
#include "time/kassert.h"

#include <windows.h>

#include <cstdio>

void KestrinAssertFailed(const char* condition, const char* file, int line)
{
    char text[512];
    std::snprintf(text, sizeof text, "Assertion failed: %s, file %s, line %d", condition, file,
                  line);
    MessageBoxA(nullptr, text, "Kestrin", MB_OK | MB_ICONHAND | MB_TASKMODAL);
    ExitProcess(3);
}
