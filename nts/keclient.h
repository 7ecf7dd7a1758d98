// One NTS-KE exchange with a key server (keclient_win32.cpp).
#pragma once

#include <cstdint>

#include "nts/aessiv.h"
#include "nts/ntsclient.h"
#include "nts/ntske.h"

struct KeOutcome {
    uint8_t c2sKey[kSivKeyBytes];
    uint8_t s2cKey[kSivKeyBytes];
    KeResponse response;  // cookies, server and port
};

// Connects, shakes hands, checks the chain, sends the request and reads the
// response, all within params.timeoutMs. Returns false with a status-line
// text in reason (and *out zeroed) on any failure.
bool RunKeyExchange(const NtsKeParams& params, KeOutcome* out, char reason[KESTRIN_NTS_REASON_BYTES]);
