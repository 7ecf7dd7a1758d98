// The run-time's abnormal end of the program on Windows.
#include "service/abnormal.h"

#include <windows.h>

#include <cstring>

void EndAbnormally()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    MessageBoxA(nullptr, "Abnormal program termination", name, MB_OK | MB_ICONHAND | MB_TASKMODAL);
    ExitProcess(3);
}
