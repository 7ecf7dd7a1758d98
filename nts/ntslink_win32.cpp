// NtsLink: KESTNTS.DLL through GetProcAddress, one association at a time.
#include "nts/ntslink_win32.h"

#include <cstdio>

#include "nts/ntske.h"

namespace {

// snprintf, not strncpy: the program imports nothing the oldest Windows'
// msvcrt lacks, and snprintf it imports already.
void SetReason(char* reason, const char* text)
{
    std::snprintf(reason, KESTRIN_NTS_REASON_BYTES, "%s", text);
}

template <typename F>
bool Take(HMODULE dll, const char* name, F* f)
{
    *f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
    return *f != nullptr;
}

void Copy(char* to, size_t size, const char* text)
{
    std::snprintf(to, size, "%s", text != nullptr ? text : "");
}

}  // namespace

NtsLink::~NtsLink()
{
    Reset();
    // Loaded for good once a thread of it may still run (see the header).
}

void NtsLink::Configure(const char* dllPath, const char* rootsFile)
{
    Copy(dllPath_, sizeof dllPath_, dllPath != nullptr && dllPath[0] != '\0' ? dllPath : KESTRIN_NTS_DLL);
    Copy(rootsFile_, sizeof rootsFile_, rootsFile);
}

bool NtsLink::Load(char* reason)
{
    if (dll_ != nullptr)
        return true;
    HMODULE dll = LoadLibraryA(dllPath_);
    if (dll == nullptr || !Take(dll, "NtsKeStart", &keStart_) || !Take(dll, "NtsKeFinish", &keFinish_) ||
        !Take(dll, "NtsNtpServer", &ntpServer_) || !Take(dll, "NtsWriteRequest", &writeRequest_) ||
        !Take(dll, "NtsCheckReply", &checkReply_) || !Take(dll, "NtsCookieCount", &cookieCount_) ||
        !Take(dll, "NtsFree", &free_)) {
        if (dll != nullptr)
            FreeLibrary(dll);
        SetReason(reason, "NTS: KESTNTS.DLL missing or unusable");
        return false;
    }
    dll_ = dll;
    return true;
}

bool NtsLink::StartKeyExchange(const char* server, HWND window, UINT message, int64_t floorSeconds,
                               char reason[KESTRIN_NTS_REASON_BYTES])
{
    Reset();
    char host[kMaxServerNameBytes + 1];
    uint16_t port = 0;
    if (!SplitKeServer(server, host, sizeof host, &port)) {
        SetReason(reason, "NTS: bad key server name");
        return false;
    }
    if (!Load(reason))
        return false;
    NtsKeParams params{};
    params.size = sizeof params;
    params.host = host;
    params.port = port;
    params.rootsFile = rootsFile_[0] != '\0' ? rootsFile_ : nullptr;
    params.floorEpochSeconds = clockTrusted_ ? 0 : floorSeconds;
    params.timeoutMs = 15000;
    job_ = keStart_(&params, window, message);
    if (job_ == nullptr) {
        SetReason(reason, "NTS: key exchange not started");
        return false;
    }
    reason[0] = '\0';
    return true;
}

bool NtsLink::FinishKeyExchange(LPARAM lParam, char reason[KESTRIN_NTS_REASON_BYTES])
{
    NtsKeJob* job = reinterpret_cast<NtsKeJob*>(lParam);
    reason[0] = '\0';
    if (dll_ == nullptr || job == nullptr)
        return false;
    char text[KESTRIN_NTS_REASON_BYTES];
    NtsAssociation* a = keFinish_(job, text);
    if (job != job_) {
        free_(a);  // disowned: the server changed meanwhile
        return false;
    }
    job_ = nullptr;
    association_ = a;
    if (a == nullptr)
        SetReason(reason, text);
    return a != nullptr;
}

const char* NtsLink::NtpServer(uint16_t* port) const
{
    return ntpServer_(association_, port);
}

size_t NtsLink::Protect(uint8_t* packet, size_t capacity)
{
    if (association_ == nullptr)
        return 0;
    const size_t size = writeRequest_(association_, packet, capacity);
    if (size == 0) {
        free_(association_);
        association_ = nullptr;
    }
    return size;
}

int NtsLink::Check(const uint8_t* packet, size_t size, char reason[KESTRIN_NTS_REASON_BYTES])
{
    if (association_ == nullptr) {
        SetReason(reason, "NTS: no key exchange");
        return 0;
    }
    const int r = checkReply_(association_, packet, size, reason);
    if (r < 0) {
        free_(association_);
        association_ = nullptr;
    }
    return r;
}

void NtsLink::Reset()
{
    if (association_ != nullptr)
        free_(association_);
    association_ = nullptr;
    job_ = nullptr;
}
