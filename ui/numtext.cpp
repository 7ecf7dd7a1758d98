// Decimal numbers in settings values and dialog fields: read as "%d" reads, written as "%d".
#include "ui/numtext.h"

#include <cstdio>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

NumberText ScanNumberText(const char* text, int32_t* value, const char** rest)
{
    if (rest != nullptr)
        *rest = text;
    if (text == nullptr)
        return NumberText::Blank;
    const char* p = text;
    while (IsBlank(*p))
        ++p;
    if (*p == '\0')
        return NumberText::Blank;

    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    if (!IsDigit(*p))
        return NumberText::NoNumber;

    // The magnitude is held in 64 bits and stops growing once past the
    // 32-bit range, so no digit string can overflow it.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    bool tooLarge = false;
    for (; IsDigit(*p); ++p) {
        if (!tooLarge)
            magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit)
            tooLarge = true;
    }
    if (rest != nullptr)
        *rest = p;
    if (tooLarge)
        return NumberText::NoNumber;
    if (value != nullptr)
        *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return NumberText::Number;
}

void FormatNumberText(int32_t value, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    std::snprintf(out, size, "%ld", static_cast<long>(value));
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
