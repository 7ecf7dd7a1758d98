// A worker thread of the service, wrapped once (CreateThread and its end).
// Tests link a fake in its place that starts nothing and lets them run the
// worker's steps themselves.
#pragma once

#include <windows.h>

// Starts entry(arg) on a thread of its own. Returns its handle, null when
// no thread could be had.
HANDLE StartWorkThread(LPTHREAD_START_ROUTINE entry, void* arg);

// Waits up to timeoutMs for the thread to return. True when it has (the
// handle is then closed); false leaves it running and its handle open:
// whatever it uses must then be left to the end of the process.
bool JoinWorkThread(HANDLE thread, DWORD timeoutMs);
