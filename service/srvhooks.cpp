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
    resync.NoteTimeChange(GetTickCount());
    SendResyncIfDue();
    return 0;
}

void TimeService::SendResyncIfDue()
{
    // Without a server the request waits until there is one.
    if (bound && serverAddr != 0 && resync.Due(GetTickCount()))
        SendRequest();
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
