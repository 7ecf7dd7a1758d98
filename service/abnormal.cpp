// The run-time's abnormal end of the program on Windows.
#include "service/abnormal.h"

#include <windows.h>

#include "framework/filename.h"

void EndAbnormally()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    MessageBoxA(nullptr, "Abnormal program termination", FileNameOf(path),
                MB_OK | MB_ICONHAND | MB_TASKMODAL);
    ExitProcess(3);
}
