// Whether the window's end of the channel reached the Windows service or
// some other program that took the pipe's name first.
#pragma once

#include <windows.h>

enum class PipeOwner {
    Service,  // the pipe's server is the service's process
    Other,    // another process, or no service runs
    Unknown,  // the system cannot tell (before Vista): taken as the service
};

// pipe: a client end just opened. The service's process id comes from the
// service manager, the pipe server's from GetNamedPipeServerProcessId; both
// are looked up at run time, so the program still loads where they are
// missing.
PipeOwner CheckPipeOwner(HANDLE pipe);
