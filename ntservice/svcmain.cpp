// kestrinsvc.exe: the time service engine as a Windows service ("Kestrin"),
// with its settings in the common application data folder and the channel
// to the window. Started by the service manager only.
#include <windows.h>

#include <sddl.h>
#include <shlobj.h>

#include <cstdio>

#include "ntservice/accesslists.h"
#include "ntservice/pipesrv.h"
#include "ntservice/svcwindow.h"

namespace {

const char kServiceName[] = "Kestrin";
// What the service manager is promised for a stop: the engine ends at once,
// the channel's thread within kStopMs of pipesrv.cpp.
const DWORD kStopHintMs = 2000;
const DWORD kStartHintMs = 5000;

SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
// The service window; the control handler runs on another thread and only
// posts to it.
HWND volatile g_window = nullptr;

void Report(DWORD state, DWORD exitCode, DWORD waitHintMs)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwWin32ExitCode = exitCode;
    g_status.dwWaitHint = waitHintMs;
    g_status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN |
                                       SERVICE_ACCEPT_POWEREVENT | SERVICE_ACCEPT_TIMECHANGE
                                 : 0;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
        ++g_status.dwCheckPoint;
    else
        g_status.dwCheckPoint = 0;
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI Control(DWORD control, DWORD eventType, void*, void*)
{
    HWND window = g_window;
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, NO_ERROR, kStopHintMs);
        if (window != nullptr)
            PostMessageA(window, WM_CLOSE, 0, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_POWEREVENT:
        // The resume events, as a window would get them.
        if (window != nullptr)
            PostMessageA(window, WM_POWERBROADCAST, eventType, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_TIMECHANGE:
        if (window != nullptr)
            PostMessageA(window, WM_TIMECHANGE, 0, 0);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Makes the settings folder when it is gone, with the installer's access
// list rather than what the folder above would pass on (which lets users
// make files there). Its owner is Local Service: only an administrator's
// token may name another.
void MakeSettingsFolder(const char* folder)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(kSettingsFolderSddl, SDDL_REVISION_1,
                                                              &descriptor, nullptr))
        return;  // no folder rather than one open to all
    SECURITY_ATTRIBUTES security{sizeof security, descriptor, FALSE};
    CreateDirectoryA(folder, &security);
    LocalFree(descriptor);
}

// The service's KESTRIN.INI: in the Kestrin folder of the common
// application data folder, which the installer makes with an access list
// that lets Local Service write and ordinary users read. False when the
// system names no such folder.
bool SettingsPath(char* path, size_t size)
{
    char folder[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, folder)))
        return false;
    char kestrin[MAX_PATH];
    if (std::snprintf(kestrin, sizeof kestrin, "%s\\Kestrin", folder) >= static_cast<int>(sizeof kestrin))
        return false;
    if (GetFileAttributesA(kestrin) == INVALID_FILE_ATTRIBUTES)
        MakeSettingsFolder(kestrin);  // the installer's, unless it is gone
    const int n = std::snprintf(path, size, "%s\\%s", kestrin, kSettingsFile);
    return n > 0 && static_cast<size_t>(n) < size;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    g_statusHandle = RegisterServiceCtrlHandlerExA(kServiceName, Control, nullptr);
    if (g_statusHandle == nullptr)
        return;
    Report(SERVICE_START_PENDING, NO_ERROR, kStartHintMs);

    char path[MAX_PATH + 16];
    if (!SettingsPath(path, sizeof path)) {
        Report(SERVICE_STOPPED, ERROR_PATH_NOT_FOUND, 0);
        return;
    }
    DWORD exitCode = NO_ERROR;
    {
        ServiceWindow window(path);
        if (!window.Create()) {
            Report(SERVICE_STOPPED, GetLastError(), 0);
            return;
        }
        g_window = window.GetHandle();
        PipeServer channel;
        exitCode = channel.Start(g_window);
        if (exitCode == NO_ERROR) {
            Report(SERVICE_RUNNING, NO_ERROR, 0);
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0)
                DispatchMessageA(&msg);
        }
        g_window = nullptr;
        channel.Stop();
    }
    Report(SERVICE_STOPPED, exitCode, 0);
}

}  // namespace

int main()
{
    static SERVICE_TABLE_ENTRYA table[] = {
        {const_cast<char*>(kServiceName), ServiceMain},
        {nullptr, nullptr},
    };
    if (StartServiceCtrlDispatcherA(table))
        return 0;
    const DWORD error = GetLastError();
    std::fprintf(stderr,
                 "kestrinsvc: the service manager starts this program (sc start Kestrin); "
                 "error %lu\n",
                 static_cast<unsigned long>(error));
    return 1;
}
