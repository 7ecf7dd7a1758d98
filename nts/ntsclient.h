// The NTS DLL's interface: kestrin loads KESTNTS.DLL only when NTS is on
// and takes these functions with GetProcAddress (plain C names, cdecl).
//
// One association per server: a key exchange (NtsKeRun, or NtsKeStart on a
// thread of its own) gives the two keys, the cookies and where to send NTP;
// NtsWriteRequest and NtsCheckReply then protect each exchange. An
// association belongs to its caller, who frees it with NtsFree; the DLL
// keeps no other state between calls. Key exchanges run one at a time (the
// TLS library is built without locks): one started while another runs
// waits for it, within its own time limit only once it runs.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KESTRIN_NTS_DLL "KESTNTS.DLL"
#define KESTRIN_NTS_PORT 4460
#define KESTRIN_NTS_REASON_BYTES 64

struct NtsKeParams {
    uint32_t size;           // sizeof(NtsKeParams)
    const char* host;        // the server's name (or address), checked against its certificate
    uint16_t port;           // NTS-KE port, usually KESTRIN_NTS_PORT
    const char* rootsFile;   // extra trusted roots (PEM), or null: the system's roots alone
    // Above 0: certificates are checked against this time (seconds since
    // 1970 UTC; the source's date) instead of the clock, which may be the
    // very thing that is wrong: one that expired before it is refused, one
    // issued after it is not. 0: against the clock, both dates.
    int64_t floorEpochSeconds;
    uint32_t timeoutMs;      // the whole exchange: connect, handshake, records
};

typedef struct NtsAssociation NtsAssociation;

// Runs one NTS-KE exchange, blocking for at most params->timeoutMs. Returns
// the new association, or null with the reason in reason (a status-line
// text such as "NTS: certificate not trusted").
NtsAssociation* NtsKeRun(const struct NtsKeParams* params, char reason[KESTRIN_NTS_REASON_BYTES]);

// The same on a thread of its own: when it ends, message is posted to
// window (an HWND) with lParam the job. NtsKeFinish then gives the result
// as NtsKeRun would and frees the job. Returns null when no thread starts.
typedef struct NtsKeJob NtsKeJob;
NtsKeJob* NtsKeStart(const struct NtsKeParams* params, void* window, unsigned message);
NtsAssociation* NtsKeFinish(NtsKeJob* job, char reason[KESTRIN_NTS_REASON_BYTES]);

// Where NTP goes: the server the key exchange named (or its own host) and
// port.
const char* NtsNtpServer(const NtsAssociation* association, uint16_t* port);

// Completes a request whose 48-byte header is in packet (capacity bytes)
// with the NTS fields and a cookie from the pool. Returns the datagram's
// length; 0 when the pool is empty (a new key exchange is due).
size_t NtsWriteRequest(NtsAssociation* association, uint8_t* packet, size_t capacity);

// Checks a reply to the last request written. Returns 1 when it
// authenticates (its new cookies are kept), -1 for an NTS NAK (a new key
// exchange is due), 0 otherwise; reason gets a status-line text.
int NtsCheckReply(NtsAssociation* association, const uint8_t* packet, size_t size,
                  char reason[KESTRIN_NTS_REASON_BYTES]);

// Cookies left in the pool.
size_t NtsCookieCount(const NtsAssociation* association);

void NtsFree(NtsAssociation* association);

#ifdef __cplusplus
}
#endif
