// Decimal numbers in settings values and dialog fields: read as "%d" reads, written as "%d".
#include "ui/numtext.h"

#include <cstdio>

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
