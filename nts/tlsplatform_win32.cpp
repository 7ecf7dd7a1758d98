// What the TLS library takes from the system, in forms Windows 95's msvcrt
// and advapi32 can give: a 64-bit clock and calendar, bounded printf, and
// random bytes from CryptGenRandom.
#include <windows.h>
#include <wincrypt.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "mbedtls/platform_util.h"
#include "nts/certdate.h"
#include "nts/tlsplatform.h"
#include "psa/crypto.h"

extern "C" int KestrinTlsVsnprintf(char* out, size_t size, const char* format, va_list args)
{
    if (size == 0)
        return -1;
    // _vsnprintf leaves the text unterminated when it is cut, and says -1.
    const int n = _vsnprintf(out, size - 1, format, args);
    out[size - 1] = '\0';
    return n < 0 ? static_cast<int>(size) : n;
}

extern "C" int KestrinTlsSnprintf(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int n = KestrinTlsVsnprintf(out, size, format, args);
    va_end(args);
    return n;
}

extern "C" long long KestrinTlsTime(long long* out)
{
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    // 100 ns ticks since 1601; 11644473600 s from 1601 to 1970.
    const unsigned long long ticks = (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    const long long seconds = static_cast<long long>(ticks / 10000000u) - 11644473600LL;
    if (out != nullptr)
        *out = seconds;
    return seconds;
}

extern "C" struct tm* mbedtls_platform_gmtime_r(const mbedtls_time_t* tt, struct tm* out)
{
    const CivilTime t = CivilFromEpoch(*tt);
    std::memset(out, 0, sizeof *out);
    out->tm_year = t.year - 1900;
    out->tm_mon = t.month - 1;
    out->tm_mday = t.day;
    out->tm_hour = t.hour;
    out->tm_min = t.minute;
    out->tm_sec = t.second;
    return out;
}

bool SystemRandom(uint8_t* out, size_t size)
{
    static HCRYPTPROV provider = 0;
    // One provider for the process; CRYPT_VERIFYCONTEXT needs no key set.
    if (provider == 0 &&
        !CryptAcquireContextA(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
        return false;
    return CryptGenRandom(provider, static_cast<DWORD>(size), out) != FALSE;
}

extern "C" psa_status_t mbedtls_psa_external_get_random(mbedtls_psa_external_random_context_t*,
                                                        uint8_t* output, size_t size, size_t* written)
{
    *written = 0;
    if (!SystemRandom(output, size))
        return PSA_ERROR_INSUFFICIENT_ENTROPY;
    *written = size;
    return PSA_SUCCESS;
}

int TlsRandom(void*, unsigned char* out, size_t size)
{
    return SystemRandom(out, size) ? 0 : PSA_ERROR_INSUFFICIENT_ENTROPY;
}
