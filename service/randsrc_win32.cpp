// Random bits from the system: RtlGenRandom (ADVAPI32's SystemFunction036,
// Windows XP on), else CryptGenRandom (ADVAPI32, NT 4 and Windows 95 OSR2
// with Internet Explorer 3.02 on, 98 on), else, on a Windows 95 without
// either, a hash of the performance counter, tick count, process and thread
// ids, the system time and the previous state (entropy.h). Both ADVAPI32
// calls are looked up at run time: a Windows 95 that lacks them still loads
// the program.
#include "service/randsrc.h"

#include <windows.h>
#include <wincrypt.h>

#include "service/entropy.h"

namespace {

using GenRandomFn = BOOLEAN(WINAPI*)(PVOID buffer, ULONG length);
using AcquireContextFn = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, LPCSTR, DWORD, DWORD);
using CryptRandomFn = BOOL(WINAPI*)(HCRYPTPROV, DWORD, BYTE*);

struct Sources {
    bool resolved = false;
    GenRandomFn genRandom = nullptr;
    CryptRandomFn cryptRandom = nullptr;
    HCRYPTPROV provider = 0;  // kept to the end of the process
    EntropyMixer mixer;
};

Sources g_sources;

void Resolve(Sources& s)
{
    s.resolved = true;
    HMODULE advapi = LoadLibraryA("advapi32.dll");  // kept loaded
    if (advapi == nullptr)
        return;
    s.genRandom = reinterpret_cast<GenRandomFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "SystemFunction036")));
    if (s.genRandom != nullptr)
        return;
    auto acquire = reinterpret_cast<AcquireContextFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "CryptAcquireContextA")));
    auto random = reinterpret_cast<CryptRandomFn>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "CryptGenRandom")));
    // A verify-only context needs no key container, so no user profile.
    if (acquire != nullptr && random != nullptr &&
        acquire(&s.provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
        s.cryptRandom = random;
}

uint32_t MixedBits(Sources& s)
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);  // 0 where there is no counter
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    int onStack = 0;
    const uint64_t readings[] = {
        static_cast<uint64_t>(counter.QuadPart),
        GetTickCount(),
        (static_cast<uint64_t>(GetCurrentProcessId()) << 32) | GetCurrentThreadId(),
        (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime,
        static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&onStack)),
    };
    return s.mixer.Draw(readings, static_cast<int>(sizeof readings / sizeof readings[0]));
}

}  // namespace

uint32_t RandomBits()
{
    Sources& s = g_sources;
    if (!s.resolved)
        Resolve(s);
    uint32_t bits = 0;
    if (s.genRandom != nullptr && s.genRandom(&bits, sizeof bits))
        return bits;
    if (s.cryptRandom != nullptr && s.cryptRandom(s.provider, sizeof bits, reinterpret_cast<BYTE*>(&bits)))
        return bits;
    return MixedBits(s);
}
