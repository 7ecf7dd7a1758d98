// Paths into a version resource: the string table named by the first translation entry.
#pragma once

#include <cstddef>
#include <cstdint>

// The first translation entry as one 32-bit value, read little-endian from
// its four stored bytes (two 16-bit words: code page, then language, gives
// 0xLLLLCCCC). The halves are taken as they are, never swapped.
uint32_t TranslationFromBytes(const unsigned char (&entry)[4]);

// "\StringFileInfo\%08lx\%s": the value key of the string table named by
// translation (eight lower-case hexadecimal digits). NUL-terminated, cut to
// size. Returns false when the path did not fit.
bool FormatVersionPath(uint32_t translation, const char* key, char* out, size_t size);
