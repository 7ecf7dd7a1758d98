// The exchange log: one CSV line per exchange with a server and per client
// answered, appended to a file of the user's choosing and flushed at once;
// past 1 MB the file becomes NAME.old (one kept) and a new one starts. A file
// that cannot be moved (another program holds it open) takes no more lines
// until it can: the log never passes its bound, and the previous NAME.old
// stays until the new one replaces it. A log that cannot be written costs one
// failed open (and move) per line and nothing else.
//
// Columns: local time, address, T1, T2, T3, T4 (NTP seconds with six
// decimals), offset and round-trip delay in seconds with millisecond
// resolution, the verdict, and what was done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "service/adjust.h"
#include "service/ntppacket.h"
#include "service/ntptime.h"
#include "service/reqmatch.h"
#include "time/clockrec.h"

struct ExchangeRecord {
    ClockDate date;        // the local clock when the message arrived
    ClockTime time;
    uint32_t address;      // the peer's IPv4 address, network order as held
    NtpTime t1, t2, t3, t4;
    bool hasT4;            // a client line has no destination time
    Verdict verdict;       // its reason is the line's verdict
    char kissCode[5];      // for Kiss: the code, printed after the verdict
    // What was done, by the verdict: a client request was answered, a
    // refused reply did nothing, an accepted one did action.
    AdjustAction action;
    uint32_t error;        // for SetFailed
    char ntsReason[64];    // for Nts: why, printed as the action
};

inline constexpr char kExchangeLogHeader[] =
    "local time,address,t1,t2,t3,t4,offset s,delay s,verdict,action";
inline constexpr size_t kExchangeLineSize = 256;

// One line without its line end, cut to size.
void FormatExchangeLine(const ExchangeRecord& record, char* out, size_t size);

// The file a LogFile value names: a path with a drive or a leading slash as
// given; any other (a bare name, a relative folder) within folder, the one
// folder relative names are taken in, whatever the current directory.
std::string ResolveLogPath(const char* value, const char* folder);

// Added to the status text once after the log first failed to be written.
inline constexpr char kLogFailureNote[] = " - log failed";

class ExchangeLog {
public:
    // A file that passes this size is moved to NAME.old before the next line.
    static constexpr long kRotateBytes = 1024L * 1024L;

    ExchangeLog() = default;
    ExchangeLog(const ExchangeLog&) = delete;
    ExchangeLog& operator=(const ExchangeLog&) = delete;
    ~ExchangeLog();

    // The file to append to; empty: no log. Closes the current one.
    void SetPath(const char* path);
    bool Enabled() const { return !path_.empty(); }
    // Appends line and a line end, opening (and heading) the file as
    // needed, and flushes. Returns false when it was not written.
    bool Write(const char* line);
    // True once, after the first failure since SetPath.
    bool TakeFailureNote();

private:
    bool Open();
    void Close();
    // Moves the closed file to NAME.old. False, with NAME where it was, when
    // it cannot be moved or the previous NAME.old cannot be replaced.
    bool Rotate();

    std::string path_;
    FILE* file_ = nullptr;
    long size_ = 0;  // bytes in the open file
    bool failed_ = false;
    bool noted_ = false;
};
