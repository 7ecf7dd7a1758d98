// PipeServer: the service's end of the channel, a named pipe served by a
// thread of its own, one client at a time, each with a time limit.
#pragma once

#include <windows.h>

class PipeServer {
public:
    PipeServer() = default;
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;
    // Stops the thread if it still runs.
    ~PipeServer();

    // window: the ServiceWindow; allowed requests reach it with SendMessage
    // (WM_CHANNEL_REQUEST), so the engine answers on its own thread.
    // Returns 0 on success, else the system's error code.
    DWORD Start(HWND window);

    // Ends the thread: at once when it waits for a client, else after the
    // client's current step (at most about a second). The calling thread
    // must be the window's: it answers the thread's last request meanwhile.
    void Stop();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Serve();

    HWND window_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    HANDLE thread_ = nullptr;
};
