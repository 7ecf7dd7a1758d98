// Paths into a version resource: the string table named by the first translation entry.
#include "ui/verpath.h"

#include <cstdio>

uint32_t TranslationFromBytes(const unsigned char (&entry)[4])
{
    return static_cast<uint32_t>(entry[0]) | static_cast<uint32_t>(entry[1]) << 8 |
           static_cast<uint32_t>(entry[2]) << 16 | static_cast<uint32_t>(entry[3]) << 24;
}

bool FormatVersionPath(uint32_t translation, const char* key, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return false;
    const int length = std::snprintf(out, size, "\\StringFileInfo\\%08lx\\%s",
                                     static_cast<unsigned long>(translation),
                                     key != nullptr ? key : "");
    return length >= 0 && static_cast<size_t>(length) < size;
}
