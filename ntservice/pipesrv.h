// PipeServer: the service's end of the channel, a named pipe of a few
// instances, each served by a thread of its own, one client at a time with
// a time limit. The service makes the pipe's first instance: while another
// program holds the name, it says so in the Application event log and tries
// again every few seconds.
#pragma once

#include <windows.h>

class PipeServer {
public:
    // Instances: one client holding one leaves the others to the windows.
    static constexpr int kInstances = 4;

    PipeServer() = default;
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;
    // Stops the threads if they still run.
    ~PipeServer();

    // window: the ServiceWindow; allowed requests reach it with SendMessage
    // (WM_CHANNEL_REQUEST), so the engine answers on its own thread.
    // Returns 0 on success, else the system's error code; success means the
    // thread runs, not that it has the pipe yet.
    DWORD Start(HWND window);

    // Ends the threads: at once when they wait for a client, else after a
    // client's current step (at most about a second). The calling thread
    // must be the window's: it answers the threads' last requests meanwhile.
    void Stop();

private:
    struct Instance {
        PipeServer* server;
        HANDLE pipe;
    };
    static DWORD WINAPI KeeperMain(void* self);
    static DWORD WINAPI InstanceMain(void* instance);
    // Makes the first instance, trying again until it can or is stopped;
    // then starts the other instances' threads and serves the first.
    void Keep();
    void Serve(HANDLE pipe);

    HWND window_ = nullptr;
    HANDLE stopEvent_ = nullptr;
    // [0] the keeper, which serves the first instance; the others are
    // written by the keeper before it serves, read by Stop after it ended.
    HANDLE threads_[kInstances] = {};
    Instance instances_[kInstances] = {};
    // Milliseconds the service ran without its pipe; written by the
    // keeper, read by the instances' threads once the pipe is there.
    volatile LONG noChannelMs_ = 0;
};
