// The program's side of NTS: KESTNTS.DLL loaded at run time when NTS is
// first needed (so the program imports nothing of it), the key exchange on
// the DLL's thread with its end posted to a window, and the association
// that protects each request and checks each reply.
//
// Lifetime: the link owns the DLL and the association. A key exchange still
// running when the link is reset or destroyed is disowned: its thread ends
// by itself, its message (if the window still exists) is passed to
// FinishKeyExchange, which frees what it brought; so the DLL stays loaded
// for the rest of the process once an exchange has started.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "nts/ntsclient.h"

class NtsLink {
public:
    NtsLink() = default;
    ~NtsLink();
    NtsLink(const NtsLink&) = delete;
    NtsLink& operator=(const NtsLink&) = delete;

    // The DLL (default KESTRIN_NTS_DLL, found beside the program) and the
    // extra roots file (PEM; empty: the system's roots alone). Copied.
    void Configure(const char* dllPath, const char* rootsFile);

    // Starts a key exchange with server ("host" or "host:port"), whose end
    // is posted to window as message with the job in lParam. floorSeconds:
    // the source's date, checked against certificates until the first
    // authenticated set. Returns false with a status text in reason when it
    // cannot start (no DLL, a bad name); a running exchange is disowned.
    bool StartKeyExchange(const char* server, HWND window, UINT message, int64_t floorSeconds,
                          char reason[KESTRIN_NTS_REASON_BYTES]);
    // Takes the end of the exchange whose message arrived. True: Ready()
    // from now on. False with a status text in reason; a disowned exchange
    // returns false with an empty reason (nothing to report).
    bool FinishKeyExchange(LPARAM job, char reason[KESTRIN_NTS_REASON_BYTES]);
    bool Exchanging() const { return job_ != nullptr; }
    bool Ready() const { return association_ != nullptr; }

    // Where NTP goes (Ready only): the server the exchange named, and port.
    const char* NtpServer(uint16_t* port) const;
    // Completes the 48-byte request in packet; 0 when no cookie is left
    // (the association is dropped: a key exchange is due).
    size_t Protect(uint8_t* packet, size_t capacity);
    // 1: authentic; 0: refused; -1: NTS NAK (the association is dropped).
    // reason gets a status text either way.
    int Check(const uint8_t* packet, size_t size, char reason[KESTRIN_NTS_REASON_BYTES]);
    // Cookies left (Ready only).
    size_t Cookies() const { return cookieCount_(association_); }
    // Once the clock has been set from an authenticated reply, certificates
    // are checked against the clock.
    void NoteAuthenticatedSet() { clockTrusted_ = true; }
    // Drops the association and disowns a running exchange (the server changed).
    void Reset();

private:
    bool Load(char* reason);

    char dllPath_[MAX_PATH] = KESTRIN_NTS_DLL;
    char rootsFile_[MAX_PATH] = "";
    HMODULE dll_ = nullptr;
    decltype(&NtsKeStart) keStart_ = nullptr;
    decltype(&NtsKeFinish) keFinish_ = nullptr;
    decltype(&NtsNtpServer) ntpServer_ = nullptr;
    decltype(&NtsWriteRequest) writeRequest_ = nullptr;
    decltype(&NtsCheckReply) checkReply_ = nullptr;
    decltype(&NtsCookieCount) cookieCount_ = nullptr;
    decltype(&NtsFree) free_ = nullptr;
    NtsKeJob* job_ = nullptr;  // the exchange whose result is wanted
    NtsAssociation* association_ = nullptr;
    bool clockTrusted_ = false;
};
