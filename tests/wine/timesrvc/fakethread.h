// A stand-in for the worker thread (service/workthread.h): nothing starts;
// the test runs the NTP port's server steps on its own thread.
#pragma once

#include "service/portserver.h"

// The server whose thread was started and not yet joined, else null.
PortServer* FakeThreadServer();
