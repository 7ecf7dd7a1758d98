// Reading one decimal number from the start of a text, the way "%d" reads it.
#include "time/numscan.h"

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
