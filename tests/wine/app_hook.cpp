// A window hook loaded into a running kestrin.exe: appends each text given to the status line (IDC_STATUS) to a log.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include "resources/resource.h"

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam,
                                                                  LPARAM lParam);

namespace {

// In the prefix, so both the program and the driver reach it.
const char kLogPath[] = "C:\\windows\\temp\\kestrin-status.log";

}  // namespace

LRESULT CALLBACK StatusHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* ret = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (ret->message == WM_SETTEXT && GetDlgCtrlID(ret->hwnd) == IDC_STATUS && ret->lParam != 0) {
            if (FILE* f = std::fopen(kLogPath, "ab")) {
                std::fprintf(f, "%lu %s\n", static_cast<unsigned long>(GetTickCount()),
                             reinterpret_cast<const char*>(ret->lParam));
                std::fclose(f);
            }
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
