// TimeService: the hooks of the additions to the basic client, the extra
// request after a resume or an outside time change and the exchange log.
#include "service/timesrvc.h"

#include <cstdio>

#include "service/clockif.h"

LRESULT TimeService::EvPowerBroadcast(WPARAM event, LPARAM)
{
    // Woken by the user or by a timer: both mean the clock has stood still.
    if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND ||
        event == PBT_APMRESUMECRITICAL)
        resync.NoteResume(GetTickCount());
    return TRUE;
}

LRESULT TimeService::EvTimeChange(WPARAM, LPARAM)
{
    resync.NoteTimeChange(GetTickCount(), ClockReadingMs());
    SendResyncIfDue();
    return 0;
}

void TimeService::SendResyncIfDue()
{
    resync.NoteClockReading(GetTickCount(), ClockReadingMs());
    // Without a server the request waits until there is one.
    if (bound && serverAddr != 0 && resync.Due(GetTickCount()))
        SendRequest();
}

int64_t TimeService::ClockReadingMs()
{
    NtpTime stamp{};
    int64_t epochSeconds = 0;
    ReadClock(&stamp, &epochSeconds);
    return epochSeconds * 1000 + static_cast<int64_t>((uint64_t{stamp.fraction} * 1000u) >> 32);
}

void TimeService::SetLogFile(const char* path)
{
    // Not the current directory: that depends on how the program was started.
    char folder[MAX_PATH] = "";
    const UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        folder[0] = '\0';
    exchangeLog.SetPath(ResolveLogPath(path, folder).c_str());
}

void TimeService::LogExchange(uint32_t addr, const ReplyTimes& times, const NtpTime* t4,
                              ExchangeVerdict verdict, ExchangeAction action, uint32_t error)
{
    if (!exchangeLog.Enabled())
        return;
    ExchangeRecord record{};
    ReadLocalClock(&record.date, &record.time);
    record.address = addr;
    record.t1 = times.originate;
    record.t2 = times.receive;
    record.t3 = times.transmit;
    record.hasT4 = t4 != nullptr;
    if (t4 != nullptr)
        record.t4 = *t4;
    record.verdict = verdict;
    record.action = action;
    record.error = error;
    char line[kExchangeLineSize];
    FormatExchangeLine(record, line, sizeof line);
    exchangeLog.Write(line);
}

void TimeService::SetExchangeStatus(const char* text)
{
    if (!exchangeLog.TakeFailureNote()) {
        SetStatus(text);
        return;
    }
    char noted[kStatusTextSize];
    std::snprintf(noted, sizeof noted, "%s%s", text, kLogFailureNote);
    SetStatus(noted);
}
