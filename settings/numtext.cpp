// Decimal numbers in settings values and dialog fields: read as "%d" reads, written as "%d".
#include "settings/numtext.h"

#include <cstdio>

void FormatNumberText(int32_t value, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    std::snprintf(out, size, "%ld", static_cast<long>(value));
}

void FormatCountText(uint64_t count, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    // Digits by hand: the Windows run-time's printf need not know "%llu".
    char digits[24];
    size_t n = 0;
    do {
        digits[n++] = static_cast<char>('0' + count % 10);
        count /= 10;
    } while (count != 0);
    size_t at = 0;
    while (n > 0 && at + 1 < size)
        out[at++] = digits[--n];
    out[at] = '\0';
}

int32_t TakeFieldNumber(const char* text, int32_t current)
{
    int32_t value = 0;
    switch (ScanNumberText(text, &value)) {
    case NumberText::Number:
        return value;
    case NumberText::NoNumber:
        return 0;
    case NumberText::Blank:
        break;
    }
    return current;
}
