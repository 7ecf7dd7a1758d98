// KESTNTS.DLL: the exported functions of ntsclient.h, an association's
// keys and cookie pool, and the key exchange on a thread of its own.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "nts/cookiepool.h"
#include "nts/keclient.h"
#include "nts/ntsclient.h"
#include "nts/ntsef.h"
#include "nts/tlsplatform.h"

#define NTS_EXPORT extern "C" __declspec(dllexport)

struct NtsAssociation {
    uint8_t c2sKey[kSivKeyBytes];
    uint8_t s2cKey[kSivKeyBytes];
    CookiePool pool;
    char server[kMaxServerNameBytes + 1];
    uint16_t port;
    uint8_t uniqueId[kUniqueIdBytes];  // of the request in flight
    bool inFlight;
};

namespace {

void SetReason(char* reason, const char* text)
{
    std::strncpy(reason, text, KESTRIN_NTS_REASON_BYTES - 1);
    reason[KESTRIN_NTS_REASON_BYTES - 1] = '\0';
}

char* Copy(const char* text)
{
    if (text == nullptr)
        return nullptr;
    const size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr)
        std::memcpy(copy, text, n);
    return copy;
}

}  // namespace

namespace {

// The TLS library is built without locks: exchanges started while another
// runs (a server changed meanwhile) wait for it here.
CRITICAL_SECTION exchangeLock;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH)
        InitializeCriticalSection(&exchangeLock);
    else if (reason == DLL_PROCESS_DETACH)
        DeleteCriticalSection(&exchangeLock);
    return TRUE;
}

NTS_EXPORT NtsAssociation* NtsKeRun(const NtsKeParams* params, char reason[KESTRIN_NTS_REASON_BYTES])
{
    if (params == nullptr || params->size < sizeof(NtsKeParams)) {
        SetReason(reason, "NTS: wrong DLL version");
        return nullptr;
    }
    KeOutcome* outcome = static_cast<KeOutcome*>(std::malloc(sizeof(KeOutcome)));
    NtsAssociation* a = static_cast<NtsAssociation*>(std::calloc(1, sizeof(NtsAssociation)));
    bool ok = outcome != nullptr && a != nullptr;
    if (!ok)
        SetReason(reason, "NTS: out of memory");
    if (ok) {
        EnterCriticalSection(&exchangeLock);
        ok = RunKeyExchange(*params, outcome, reason);
        LeaveCriticalSection(&exchangeLock);
    }
    if (ok) {
        std::memcpy(a->c2sKey, outcome->c2sKey, kSivKeyBytes);
        std::memcpy(a->s2cKey, outcome->s2cKey, kSivKeyBytes);
        for (size_t i = 0; i < outcome->response.cookieCount; ++i)
            a->pool.Add(outcome->response.cookies[i]);
        const char* server = outcome->response.server[0] != '\0' ? outcome->response.server : params->host;
        std::strncpy(a->server, server, kMaxServerNameBytes);
        a->port = outcome->response.port;
    }
    if (outcome != nullptr) {
        SecureZeroMemory(outcome, sizeof(KeOutcome));
        std::free(outcome);
    }
    if (!ok && a != nullptr) {
        std::free(a);
        a = nullptr;
    }
    return a;
}

struct NtsKeJob {
    NtsKeParams params;  // with strings of its own
    HWND window;
    UINT message;
    HANDLE thread;
    NtsAssociation* result;
    char reason[KESTRIN_NTS_REASON_BYTES];
};

namespace {

DWORD WINAPI RunJob(void* arg)
{
    NtsKeJob* job = static_cast<NtsKeJob*>(arg);
    job->result = NtsKeRun(&job->params, job->reason);
    PostMessageA(job->window, job->message, 0, reinterpret_cast<LPARAM>(job));
    return 0;
}

void FreeJob(NtsKeJob* job)
{
    std::free(const_cast<char*>(job->params.host));
    std::free(const_cast<char*>(job->params.rootsFile));
    std::free(job);
}

}  // namespace

NTS_EXPORT NtsKeJob* NtsKeStart(const NtsKeParams* params, void* window, unsigned message)
{
    if (params == nullptr || params->size < sizeof(NtsKeParams))
        return nullptr;
    NtsKeJob* job = static_cast<NtsKeJob*>(std::calloc(1, sizeof(NtsKeJob)));
    if (job == nullptr)
        return nullptr;
    job->params = *params;
    job->params.size = sizeof(NtsKeParams);
    job->params.host = Copy(params->host);
    job->params.rootsFile = Copy(params->rootsFile);
    job->window = static_cast<HWND>(window);
    job->message = message;
    // The random source is opened here, on the caller's thread, once.
    uint8_t warm;
    DWORD id;
    if (job->params.host == nullptr || !SystemRandom(&warm, 1) ||
        (job->thread = CreateThread(nullptr, 0, RunJob, job, 0, &id)) == nullptr) {
        FreeJob(job);
        return nullptr;
    }
    return job;
}

NTS_EXPORT NtsAssociation* NtsKeFinish(NtsKeJob* job, char reason[KESTRIN_NTS_REASON_BYTES])
{
    if (job == nullptr)
        return nullptr;
    // The thread posted the message as its last act.
    WaitForSingleObject(job->thread, INFINITE);
    CloseHandle(job->thread);
    NtsAssociation* a = job->result;
    SetReason(reason, job->reason);
    FreeJob(job);
    return a;
}

NTS_EXPORT const char* NtsNtpServer(const NtsAssociation* a, uint16_t* port)
{
    *port = a->port;
    return a->server;
}

NTS_EXPORT size_t NtsWriteRequest(NtsAssociation* a, uint8_t* packet, size_t capacity)
{
    KeCookie cookie;
    uint8_t nonce[kNonceBytes];
    a->inFlight = false;
    if (!SystemRandom(a->uniqueId, kUniqueIdBytes) || !SystemRandom(nonce, sizeof nonce) || !a->pool.Take(&cookie))
        return 0;
    const NtsRequestInput in{a->uniqueId, &cookie, a->pool.PlaceholdersWanted(), nonce, a->c2sKey};
    const size_t size = WriteNtsRequest(packet, capacity, in);
    a->inFlight = size > 0;
    return size;
}

NTS_EXPORT int NtsCheckReply(NtsAssociation* a, const uint8_t* packet, size_t size,
                             char reason[KESTRIN_NTS_REASON_BYTES])
{
    if (!a->inFlight) {
        SetReason(reason, "NTS: no request in flight");
        return 0;
    }
    NtsReply* reply = static_cast<NtsReply*>(std::malloc(sizeof(NtsReply)));
    if (reply == nullptr) {
        SetReason(reason, "NTS: out of memory");
        return 0;
    }
    ReadNtsReply(packet, size, a->uniqueId, a->s2cKey, reply);
    int result = 0;
    switch (reply->verdict) {
    case NtsVerdict::Authentic:
        // Taken once: a copy of this reply no longer matches.
        a->inFlight = false;
        for (size_t i = 0; i < reply->cookieCount; ++i)
            a->pool.Add(reply->cookies[i]);
        SetReason(reason, "NTS: authenticated");
        result = 1;
        break;
    case NtsVerdict::Nak:
        a->inFlight = false;
        SetReason(reason, "NTS: cookie refused (NAK)");
        result = -1;
        break;
    case NtsVerdict::WrongId: SetReason(reason, "NTS: reply to another request"); break;
    case NtsVerdict::Malformed: SetReason(reason, "NTS: malformed reply"); break;
    case NtsVerdict::NotAuthentic: SetReason(reason, "NTS: reply not authentic"); break;
    }
    std::free(reply);
    return result;
}

NTS_EXPORT size_t NtsCookieCount(const NtsAssociation* a) { return a->pool.Count(); }

NTS_EXPORT void NtsFree(NtsAssociation* a)
{
    if (a == nullptr)
        return;
    SecureZeroMemory(a, sizeof *a);
    std::free(a);
}
