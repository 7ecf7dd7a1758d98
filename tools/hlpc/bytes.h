// Little-endian byte buffers: how every structure of a help file is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& out, unsigned value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

inline void PutU16(Bytes& out, unsigned value)
{
    PutU8(out, value);
    PutU8(out, value >> 8);
}

inline void PutU32(Bytes& out, uint32_t value)
{
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

inline void PutBytes(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// The text's bytes without a terminating NUL.
inline void PutText(Bytes& out, const std::string& text)
{
    out.insert(out.end(), text.begin(), text.end());
}

// The text's bytes and a terminating NUL.
inline void PutZ(Bytes& out, const std::string& text)
{
    PutText(out, text);
    PutU8(out, 0);
}

// Overwrites four bytes at offset (which must lie inside out).
inline void SetU32(Bytes& out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t GetU16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetU32(const uint8_t* p)
{
    return static_cast<uint32_t>(GetU16(p)) | (static_cast<uint32_t>(GetU16(p + 2)) << 16);
}
