// TimeServiceHost: what the time service engine needs of the program that
// runs it, the main dialog or the Windows service.
#pragma once

#include <cstdint>

class TWindow;

// The engine's four message counts since its last SetServer.
struct ServiceCounts {
    uint64_t sent = 0;       // requests and answers to clients
    uint64_t received = 0;   // read notifications, and datagrams read in their batches
    uint64_t rejected = 0;   // messages that failed the acceptance tests
    uint64_t broadcast = 0;  // mode 5 messages received
};

class TimeServiceHost {
public:
    virtual ~TimeServiceHost() = default;

    // The window the engine's hidden window belongs to: the engine's socket
    // notifications, lookups and tick go to that hidden window. Null: the
    // engine's window is a message-only window of its own (a service).
    virtual TWindow* EngineParent() = 0;
    // The engine's status text changed (a request, a set, a rejection).
    virtual void ShowStatus(const char* text) = 0;
    // ShowStats: shows the counts as they stand now (the window's dialog).
    virtual void ShowStats(const ServiceCounts& counts) = 0;
    // A failure the engine cannot go on from as planned (start-up, sockets,
    // timer); caption names its kind.
    virtual void ShowError(const char* text, const char* caption) = 0;
    // After an accepted reply with the close-after-set switch. Returns true
    // when the engine is still there (the close waits); false when the host
    // may have deleted it, and the engine then touches nothing of itself.
    virtual bool CloseAfterSet() = 0;
};
