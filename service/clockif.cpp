// The local clock through KERNEL32 and ADVAPI32: read and set as local time.
#include "service/clockif.h"

#include <windows.h>

namespace {

// The system's code for the call that just failed.
uint32_t LastError() { return static_cast<uint32_t>(GetLastError()); }

// Switches the system-time privilege on or off in token. Returns 0 on
// success, else the system's error code; a call that succeeds without being
// able to assign the privilege counts as success (SetLocalTime reports it).
uint32_t SwitchTimePrivilege(HANDLE token, const LUID& luid, DWORD attributes)
{
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid = luid;
    privileges.Privileges[0].Attributes = attributes;
    if (AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr))
        return 0;
    return LastError();
}

}  // namespace

int ReadLocalClock(ClockDate* date, ClockTime* time, int* pastHundredthMs)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    date->da_year = now.wYear;
    date->da_month = static_cast<int8_t>(now.wMonth);
    date->da_day = static_cast<int8_t>(now.wDay);
    time->ti_hour = static_cast<uint8_t>(now.wHour);
    time->ti_minute = static_cast<uint8_t>(now.wMinute);
    time->ti_second = static_cast<uint8_t>(now.wSecond);
    time->ti_hundredths = static_cast<uint8_t>(now.wMilliseconds / 10);
    if (pastHundredthMs != nullptr)
        *pastHundredthMs = now.wMilliseconds % 10;
    return 1;
}

int64_t ReadElapsedUs()
{
    static LARGE_INTEGER frequency{};  // the counter's ticks per second; 0: none
    static bool asked = false;
    if (!asked) {
        asked = true;
        if (!QueryPerformanceFrequency(&frequency))
            frequency.QuadPart = 0;
    }
    LARGE_INTEGER counter{};
    if (frequency.QuadPart <= 0 || !QueryPerformanceCounter(&counter))
        return static_cast<int64_t>(GetTickCount()) * 1000;
    // Seconds and the rest apart, so that the product cannot overflow.
    const int64_t ticks = counter.QuadPart;
    const int64_t perSecond = frequency.QuadPart;
    return ticks / perSecond * 1000000 + ticks % perSecond * 1000000 / perSecond;
}

uint32_t SetLocalClock(const ClockDate* date, const ClockTime* time)
{
    // Systems without access control answer the token call with
    // ERROR_CALL_NOT_IMPLEMENTED: there is no privilege to switch.
    HANDLE token = nullptr;
    bool havePrivilege = false;
    LUID luid{};
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        havePrivilege = true;
        LookupPrivilegeValueA(nullptr, SE_SYSTEMTIME_NAME, &luid);
        uint32_t error = SwitchTimePrivilege(token, luid, SE_PRIVILEGE_ENABLED);
        if (error != 0 && error != ERROR_CALL_NOT_IMPLEMENTED) {
            CloseHandle(token);
            return error;
        }
    } else {
        uint32_t error = LastError();
        if (error != ERROR_CALL_NOT_IMPLEMENTED)
            return error;
    }

    SYSTEMTIME wanted{};
    wanted.wYear = static_cast<WORD>(date->da_year);
    wanted.wMonth = static_cast<WORD>(date->da_month);
    wanted.wDay = static_cast<WORD>(date->da_day);
    wanted.wHour = time->ti_hour;
    wanted.wMinute = time->ti_minute;
    wanted.wSecond = time->ti_second;
    wanted.wMilliseconds = static_cast<WORD>(time->ti_hundredths * 10);
    // SetLocalTime turns local time into UTC with the daylight-saving state
    // of the moment before the set. When the set crosses a change of the
    // system's zone, that state is now the other one, and a second call
    // with the same local time converts it with the right offset.
    TIME_ZONE_INFORMATION zone{};
    const DWORD zoneBefore = GetTimeZoneInformation(&zone);
    uint32_t result = SetLocalTime(&wanted) ? 0 : LastError();
    if (result == 0 && zoneBefore != TIME_ZONE_ID_INVALID &&
        GetTimeZoneInformation(&zone) != zoneBefore && !SetLocalTime(&wanted))
        result = LastError();

    if (havePrivilege) {
        SwitchTimePrivilege(token, luid, 0);
        CloseHandle(token);
    }
    return result;
}
