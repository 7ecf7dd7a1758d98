// TimeService with NTS: a key exchange before the first request to a server
// (and again when the cookies run out or the server says NTS NAK), each
// request protected, each reply authenticated before any other check. A
// server that fails any of this never sets the clock: there is no falling
// back to plain SNTP.
#include "service/timesrvc.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "nts/ntske.h"
#include "service/sockets.h"

namespace {

// Leap 0, version 4, mode 3: NTS extension fields need version 4.
const uint8_t kNtsRequestHeader = 0x23;

bool SameHost(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char x = *a, y = *b;
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return *a == *b;
}

}  // namespace

void TimeService::SetNts(bool on, const char* rootsFile, const char* folder)
{
    const std::string base = FolderOrWindows(folder);
    const std::string roots =
        rootsFile != nullptr && rootsFile[0] != '\0' ? ResolveLogPath(rootsFile, base.c_str()) : "";
    // The DLL by its full path beside the program: never one that happens
    // to lie in the current directory.
    char dll[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, dll, sizeof dll);
    size_t folderEnd = 0;  // past the last backslash
    for (DWORD i = 0; length < sizeof dll && i < length; ++i)
        if (dll[i] == '\\')
            folderEnd = i + 1;
    if (folderEnd > 0 && folderEnd + sizeof KESTRIN_NTS_DLL <= sizeof dll)
        std::memcpy(dll + folderEnd, KESTRIN_NTS_DLL, sizeof KESTRIN_NTS_DLL);
    else
        dll[0] = '\0';  // the system's search, as a last resort
    nts.Configure(dll, roots.c_str());
    nts.Reset();
    ntsOn = on;
    if (on && ntsDatagram == nullptr)
        ntsDatagram.reset(new (std::nothrow) uint8_t[kNtsDatagramBytes]);
}

void TimeService::StartNtsKeyExchange()
{
    if (nts.Exchanging())
        return;
    const std::string& server = servers.Current();
    // Counted as a request: a list moves on from a server that never
    // completes one, as from one that never answers.
    servers.NoteRequestSent();
    char reason[KESTRIN_NTS_REASON_BYTES];
    if (!nts.StartKeyExchange(server.c_str(), handle_, WM_NTS_KE, timeFloorSeconds, reason)) {
        NtsRefused(reason, serverAddr, ReplyTimes{}, nullptr);
        return;
    }
    char text[kStatusTextSize];
    std::snprintf(text, sizeof text, "NTS: key exchange with %s", server.c_str());
    SetStatus(text);
}

LRESULT TimeService::EvNtsKeyExchange(WPARAM, LPARAM lParam)
{
    char reason[KESTRIN_NTS_REASON_BYTES];
    if (!nts.FinishKeyExchange(lParam, reason)) {
        // An empty reason: an exchange for a server since replaced.
        if (reason[0] != '\0')
            NtsRefused(reason, serverAddr, ReplyTimes{}, nullptr);
        return 0;
    }
    // NTP goes where the key exchange said: an address, or the host the
    // exchange was with (whose address is looked up already).
    uint16_t port = 0;
    const char* ntpServer = nts.NtpServer(&port);
    char keHost[kMaxServerNameBytes + 1] = "";
    uint16_t kePort = 0;
    SplitKeServer(servers.Current().c_str(), keHost, sizeof keHost, &kePort);
    ntsPort = htons(port);
    if (!SameHost(ntpServer, keHost)) {
        const uint32_t addr = SockParseAddress(ntpServer);
        if (addr == INADDR_NONE || addr == 0) {
            // A host name: looked up as the server's own, one at a time.
            int error = WSAEINPROGRESS;
            if (ntsLookupBuffer == nullptr) {
                ntsLookupBuffer.reset(new (std::nothrow) char[MAXGETHOSTSTRUCT]);
                error = ntsLookupBuffer == nullptr
                            ? WSAENOBUFS
                            : SockStartLookup(handle_, WM_NTS_RESOLVED, ntpServer,
                                              ntsLookupBuffer.get(), MAXGETHOSTSTRUCT,
                                              &ntsLookupHandle);
                if (error != 0)
                    ntsLookupBuffer.reset();
            }
            if (error != 0) {
                nts.Reset();
                NtsRefused("NTS: lookup of NTP server failed", serverAddr, ReplyTimes{}, nullptr);
                return 0;
            }
            ntsLookupWanted = true;
            return 0;
        }
        serverAddr = addr;
    }
    if (socketsUp && serverAddr != 0)
        SendRequest();
    return 0;
}

LRESULT TimeService::EvNtsResolved(WPARAM wParam, LPARAM lParam)
{
    if (ntsLookupBuffer == nullptr || reinterpret_cast<HANDLE>(wParam) != ntsLookupHandle)
        return 0;
    std::unique_ptr<char[]> entry = std::move(ntsLookupBuffer);
    // The server changed meanwhile: its own key exchange comes.
    if (!ntsLookupWanted || !nts.Ready())
        return 0;
    ntsLookupWanted = false;
    const uint32_t addr = WSAGETASYNCERROR(lParam) == 0 ? FirstHostAddress(entry.get()) : 0;
    if (addr == 0) {
        nts.Reset();
        NtsRefused("NTS: lookup of NTP server failed", serverAddr, ReplyTimes{}, nullptr);
        return 0;
    }
    serverAddr = addr;
    if (socketsUp)
        SendRequest();
    return 0;
}

bool TimeService::NtsHoldsRequest()
{
    if (!ntsOn)
        return false;
    if (ntsLookupWanted)
        return true;
    if (!nts.Ready() || nts.Cookies() == 0) {
        StartNtsKeyExchange();
        return true;
    }
    return false;
}

size_t TimeService::ProtectRequest(const NtpPacket& packet)
{
    if (ntsDatagram == nullptr) {
        ErrorBox("Can't allocate buffer for request", kErrorCaption);
        return 0;
    }
    std::memcpy(ntsDatagram.get(), packet.bytes, kNtpPacketSize);
    ntsDatagram[0] = kNtsRequestHeader;
    return nts.Protect(ntsDatagram.get(), kNtsDatagramBytes);
}

bool TimeService::NtsAuthentic(uint32_t fromAddr, const ReplyTimes& times, int lengthBytes)
{
    // A message at the NTP port (a broadcast, a stray reply) carries no
    // authentication of ours.
    char reason[KESTRIN_NTS_REASON_BYTES] = "NTS: reply not authentic";
    int verdict = 0;
    if (readingExchange && ntsDatagram != nullptr && lengthBytes > 0)
        verdict = nts.Check(ntsDatagram.get(), static_cast<size_t>(lengthBytes), reason);
    if (verdict > 0)
        return true;
    NtsRefused(reason, fromAddr, times, &T4);
    // NTS NAK: the server no longer takes our cookies; new ones are needed.
    if (verdict < 0) {
        requests.NoteTaken();
        StartNtsKeyExchange();
    }
    return false;
}

void TimeService::NtsRefused(const char* reason, uint32_t addr, const ReplyTimes& times,
                             const NtpTime* t4)
{
    ++rejectedCount;
    LogExchange(addr, times, t4, Verdict::Nts, nullptr, reason);
    SetExchangeStatus(reason);
}
