// printf-style formatting for the program's run-time (see textfmt.h).
#include "runtime/textfmt.h"

#include <climits>
#include <cstdint>

namespace {

// Where the characters go: a buffer, and for a file the buffer is a stage
// that is written out whenever it fills. total counts every character
// produced, whether or not it found room.
struct Output {
    char* at;
    char* end;
    char* start;
    std::FILE* file;
    std::size_t total;
    bool failed;

    void Drain()
    {
        const std::size_t length = static_cast<std::size_t>(at - start);
        if (length != 0 && std::fwrite(start, 1, length, file) != length)
            failed = true;
        at = start;
    }

    void Put(char c)
    {
        ++total;
        if (at == end) {
            if (file == nullptr)
                return;
            Drain();
        }
        *at++ = c;
    }

    void Repeat(char c, int count)
    {
        for (; count > 0; --count)
            Put(c);
    }
};

// Size: z and t, which name the same width (size_t's, ptrdiff_t's).
enum class Length { Int, Char, Short, Long, LongLong, Max, Size, LongDouble };

// The argument of an integer conversion, as the length says it was passed.
// Narrow ones arrive promoted to int and are cut back, as printf does.
unsigned long long TakeUnsigned(std::va_list& args, Length length)
{
    switch (length) {
        case Length::Char: return static_cast<unsigned char>(va_arg(args, unsigned));
        case Length::Short: return static_cast<unsigned short>(va_arg(args, unsigned));
        case Length::Long: return va_arg(args, unsigned long);
        case Length::LongLong: return va_arg(args, unsigned long long);
        case Length::Max: return va_arg(args, std::uintmax_t);
        case Length::Size: return va_arg(args, std::size_t);
        default: return va_arg(args, unsigned);
    }
}

long long TakeSigned(std::va_list& args, Length length)
{
    switch (length) {
        case Length::Char: return static_cast<signed char>(va_arg(args, int));
        case Length::Short: return static_cast<short>(va_arg(args, int));
        case Length::Long: return va_arg(args, long);
        case Length::LongLong: return va_arg(args, long long);
        case Length::Max: return va_arg(args, std::intmax_t);
        case Length::Size: return va_arg(args, std::ptrdiff_t);
        default: return va_arg(args, int);
    }
}

struct Spec {
    bool left = false;
    bool zero = false;
    bool alternate = false;
    char sign = 0;  // '+' or ' ' before a non-negative signed number
    int width = 0;
    int precision = -1;  // -1: none given
};

// The number written as its prefix, its zeros and its digits between the
// padding, in the order C lays them out.
void PutNumber(Output& out, Spec spec, unsigned long long value, unsigned base, bool upper, const char* prefix)
{
    char digits[24];
    int count = 0;
    // Precision 0 prints no digit for the value 0.
    if (value != 0 || spec.precision != 0) {
        do {
            const unsigned digit = static_cast<unsigned>(value % base);
            digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : (upper ? 'A' : 'a') + digit - 10);
            value /= base;
        } while (value != 0);
    }
    // "%#o" makes the first digit a 0.
    if (base == 8 && spec.alternate && (count == 0 || digits[count - 1] != '0') && spec.precision <= count)
        spec.precision = count + 1;
    int prefixLength = 0;
    while (prefix[prefixLength] != '\0')
        ++prefixLength;
    const int zeros = spec.precision > count ? spec.precision - count : 0;
    int pad = spec.width - prefixLength - zeros - count;
    // The 0 flag pads with zeros after the prefix, unless a precision or
    // the - flag is given.
    const bool zeroPad = spec.zero && !spec.left && spec.precision < 0;
    if (!spec.left && !zeroPad)
        out.Repeat(' ', pad);
    for (const char* p = prefix; *p != '\0'; ++p)
        out.Put(*p);
    if (zeroPad)
        out.Repeat('0', pad);
    out.Repeat('0', zeros);
    while (count > 0)
        out.Put(digits[--count]);
    if (spec.left)
        out.Repeat(' ', pad);
}

void PutText(Output& out, const Spec& spec, const char* text, int length)
{
    if (!spec.left)
        out.Repeat(' ', spec.width - length);
    for (int i = 0; i < length; ++i)
        out.Put(text[i]);
    if (spec.left)
        out.Repeat(' ', spec.width - length);
}

int TakeCount(const char*& f, std::va_list& args)
{
    if (*f == '*') {
        ++f;
        return va_arg(args, int);
    }
    int n = 0;
    while (*f >= '0' && *f <= '9' && n < INT_MAX / 10)
        n = n * 10 + (*f++ - '0');
    return n;
}

void Format(Output& out, const char* f, std::va_list& args)
{
    for (; *f != '\0'; ++f) {
        if (*f != '%') {
            out.Put(*f);
            continue;
        }
        const char* const conversion = f;
        Spec spec;
        for (++f;; ++f) {
            if (*f == '-')
                spec.left = true;
            else if (*f == '0')
                spec.zero = true;
            else if (*f == '+')
                spec.sign = '+';
            else if (*f == ' ')
                spec.sign = spec.sign != 0 ? spec.sign : ' ';
            else if (*f == '#')
                spec.alternate = true;
            else
                break;
        }
        spec.width = TakeCount(f, args);
        if (spec.width < 0) {  // a negative '*' width means the - flag
            spec.left = true;
            spec.width = spec.width == INT_MIN ? INT_MAX : -spec.width;
        }
        if (*f == '.') {
            ++f;
            spec.precision = TakeCount(f, args);
            if (spec.precision < 0)
                spec.precision = -1;
        }
        Length length = Length::Int;
        for (;; ++f) {
            if (*f == 'h')
                length = length == Length::Short ? Length::Char : Length::Short;
            else if (*f == 'l')
                length = length == Length::Long ? Length::LongLong : Length::Long;
            else if (*f == 'j')
                length = Length::Max;
            else if (*f == 'z' || *f == 't')
                length = Length::Size;
            else if (*f == 'L')
                length = Length::LongDouble;
            else
                break;
        }
        switch (*f) {
            case 'd':
            case 'i': {
                const long long value = TakeSigned(args, length);
                const char prefix[2] = {value < 0 ? '-' : spec.sign, '\0'};
                // Negated as unsigned, so that the most negative value has its magnitude.
                const unsigned long long magnitude =
                    value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
                PutNumber(out, spec, magnitude, 10, false, prefix);
                break;
            }
            case 'u': PutNumber(out, spec, TakeUnsigned(args, length), 10, false, ""); break;
            case 'o': PutNumber(out, spec, TakeUnsigned(args, length), 8, false, ""); break;
            case 'x':
            case 'X': {
                const unsigned long long value = TakeUnsigned(args, length);
                const bool upper = *f == 'X';
                PutNumber(out, spec, value, 16, upper, spec.alternate && value != 0 ? (upper ? "0X" : "0x") : "");
                break;
            }
            case 'p':
                spec.zero = false;
                PutNumber(out, spec, reinterpret_cast<std::uintptr_t>(va_arg(args, void*)), 16, false, "0x");
                break;
            case 'c': {
                const char c = static_cast<char>(va_arg(args, int));
                PutText(out, spec, &c, 1);
                break;
            }
            case 's': {
                const char* text = va_arg(args, const char*);
                if (text == nullptr)
                    text = "(null)";
                int n = 0;
                while ((spec.precision < 0 || n < spec.precision) && text[n] != '\0')
                    ++n;
                PutText(out, spec, text, n);
                break;
            }
            case '%': out.Put('%'); break;
            default: {
                // Not formatted here: its argument is skipped, and the
                // conversion shown as written.
                const char c = *f;
                if (c == 'e' || c == 'E' || c == 'f' || c == 'F' || c == 'g' || c == 'G' || c == 'a' || c == 'A') {
                    if (length == Length::LongDouble)
                        (void)va_arg(args, long double);
                    else
                        (void)va_arg(args, double);
                } else if (c == 'n') {
                    (void)va_arg(args, void*);
                }
                if (c == '\0')
                    --f;  // the format ends inside the conversion
                for (const char* p = conversion; p <= f; ++p)
                    out.Put(*p);
            }
        }
    }
}

int Result(const Output& out)
{
    return out.total > static_cast<std::size_t>(INT_MAX) ? -1 : static_cast<int>(out.total);
}

}  // namespace

int FormatText(char* out, std::size_t size, const char* format, std::va_list args)
{
    Output o{out, out + (size != 0 ? size - 1 : 0), out, nullptr, 0, false};
    std::va_list own;
    va_copy(own, args);
    Format(o, format, own);
    va_end(own);
    if (size != 0)
        *o.at = '\0';
    return Result(o);
}

int FormatFile(std::FILE* file, const char* format, std::va_list args)
{
    char stage[256];
    Output o{stage, stage + sizeof stage, stage, file, 0, false};
    std::va_list own;
    va_copy(own, args);
    Format(o, format, own);
    va_end(own);
    o.Drain();
    return o.failed ? -1 : Result(o);
}
