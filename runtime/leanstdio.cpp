// The printf family of the programs built with the lean run-time. The compiler's
// headers send snprintf, vsnprintf, fprintf and printf to these two; the
// library's versions also format floating point and wide text, which the
// program never asks for, and bring some 20 KB of code for it. Defined here,
// they keep the library's members out of the link (see leanrt.cpp).
#include <cstdarg>
#include <cstdio>

#include "runtime/textfmt.h"

extern "C" int __cdecl __mingw_vsnprintf(char* __restrict__ out, size_t size, const char* __restrict__ format,
                                         va_list args)
{
    return FormatText(out, size, format, args);
}

extern "C" int __cdecl __mingw_vfprintf(FILE* __restrict__ file, const char* __restrict__ format, va_list args)
{
    return FormatFile(file, format, args);
}
