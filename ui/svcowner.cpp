// CheckPipeOwner: the pipe server's process id against the service's.
#include "ui/svcowner.h"

#include "channel/channel.h"

namespace {

// The service manager's calls, through advapi32 loaded here: Windows 95's
// has none of them.
typedef SC_HANDLE(WINAPI* OpenManagerFn)(const char*, const char*, DWORD);
typedef SC_HANDLE(WINAPI* OpenServiceFn)(SC_HANDLE, const char*, DWORD);
typedef BOOL(WINAPI* QueryStatusExFn)(SC_HANDLE, SC_STATUS_TYPE, BYTE*, DWORD, DWORD*);
typedef BOOL(WINAPI* CloseServiceFn)(SC_HANDLE);
typedef BOOL(WINAPI* ServerProcessIdFn)(HANDLE, ULONG*);

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return module != nullptr
               ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}

// The running service's process id; 0 when none runs or it cannot be asked.
DWORD ServiceProcessId()
{
    HMODULE advapi = LoadLibraryA("advapi32.dll");
    if (advapi == nullptr)
        return 0;
    const auto openManager = Lookup<OpenManagerFn>(advapi, "OpenSCManagerA");
    const auto openService = Lookup<OpenServiceFn>(advapi, "OpenServiceA");
    const auto queryStatus = Lookup<QueryStatusExFn>(advapi, "QueryServiceStatusEx");
    const auto closeService = Lookup<CloseServiceFn>(advapi, "CloseServiceHandle");
    DWORD id = 0;
    if (openManager != nullptr && openService != nullptr && queryStatus != nullptr &&
        closeService != nullptr) {
        SC_HANDLE manager = openManager(nullptr, nullptr, SC_MANAGER_CONNECT);
        if (manager != nullptr) {
            SC_HANDLE service = openService(manager, kChannelServiceName, SERVICE_QUERY_STATUS);
            if (service != nullptr) {
                SERVICE_STATUS_PROCESS status{};
                DWORD needed = 0;
                if (queryStatus(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed) &&
                    status.dwCurrentState == SERVICE_RUNNING)
                    id = status.dwProcessId;
                closeService(service);
            }
            closeService(manager);
        }
    }
    FreeLibrary(advapi);
    return id;
}

}  // namespace

PipeOwner CheckPipeOwner(HANDLE pipe)
{
    // kernel32 is loaded in every process; the call exists from Vista on.
    const auto serverProcessId = Lookup<ServerProcessIdFn>(GetModuleHandleA("kernel32.dll"),
                                                           "GetNamedPipeServerProcessId");
    if (serverProcessId == nullptr)
        return PipeOwner::Unknown;
    ULONG server = 0;
    if (!serverProcessId(pipe, &server))
        return PipeOwner::Other;
    const DWORD service = ServiceProcessId();
    return service != 0 && server == service ? PipeOwner::Service : PipeOwner::Other;
}
