// The help viewer's hash of a topic's context string.
#include "tools/hlpc/hash.h"

namespace {

uint32_t CharCode(char c)
{
    if (c >= 'A' && c <= 'Z')
        return static_cast<uint32_t>(c - 'A') + 17;
    if (c >= 'a' && c <= 'z')
        return static_cast<uint32_t>(c - 'a') + 17;
    if (c >= '1' && c <= '9')
        return static_cast<uint32_t>(c - '0');
    if (c == '0')
        return 10;
    if (c == '.')
        return 12;
    if (c == '_')
        return 13;
    return 0;
}

}  // namespace

bool IsContextChar(char c)
{
    return CharCode(c) != 0;
}

int32_t ContextHash(std::string_view id)
{
    uint32_t h = 0;  // unsigned: the multiplication wraps modulo 2^32
    for (char c : id) {
        const uint32_t code = CharCode(c);
        if (code != 0)
            h = h * 43u + code;
    }
    return static_cast<int32_t>(h);
}
