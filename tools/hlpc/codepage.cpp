// UTF-8 source text to code page 1252.
#include "tools/hlpc/codepage.h"

#include <cstdint>
#include <cstdio>

namespace {

// The characters of bytes 0x80..0x9F; 0 where the code page has none.
// Bytes 0xA0..0xFF are the same as U+00A0..U+00FF.
constexpr uint16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

bool ToByte(uint32_t code, char* byte)
{
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
        *byte = static_cast<char>(code);
        return true;
    }
    for (unsigned i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == code) {
            *byte = static_cast<char>(0x80 + i);
            return true;
        }
    }
    return false;
}

// Decodes one character at text[*i]; false for a malformed sequence.
bool Decode(const std::string& text, size_t* i, uint32_t* code)
{
    const auto lead = static_cast<uint8_t>(text[*i]);
    unsigned extra;
    uint32_t min;
    if (lead < 0x80) {
        *code = lead;
        ++*i;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1, min = 0x80, *code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, min = 0x800, *code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, min = 0x10000, *code = lead & 0x07u;
    } else {
        return false;
    }
    if (*i + extra >= text.size())
        return false;
    for (unsigned k = 1; k <= extra; ++k) {
        const auto next = static_cast<uint8_t>(text[*i + k]);
        if ((next & 0xC0) != 0x80)
            return false;
        *code = (*code << 6) | (next & 0x3Fu);
    }
    if (*code < min || *code > 0x10FFFF || (*code >= 0xD800 && *code <= 0xDFFF))
        return false;
    *i += extra + 1;
    return true;
}

}  // namespace

bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* bad)
{
    std::string result;
    result.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        uint32_t code = 0;
        if (!Decode(utf8, &i, &code)) {
            *bad = "an invalid UTF-8 sequence";
            return false;
        }
        char byte;
        if (!ToByte(code, &byte)) {
            char name[16];
            std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
            *bad = name;
            return false;
        }
        result.push_back(byte);
    }
    *out = std::move(result);
    return true;
}
