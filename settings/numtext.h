// Decimal numbers in settings values and dialog fields: read as "%d" reads, written as "%d".
#pragma once

#include <cstddef>
#include <cstdint>

#include "time/numscan.h"

// Writes value as "%d" (NUL-terminated, cut to size). size 0 writes nothing.
void FormatNumberText(int32_t value, char* out, size_t size);

// Writes a count in decimal, without sign, leading zeros or grouping
// (NUL-terminated, cut to size). size 0 writes nothing.
void FormatCountText(uint64_t count, char* out, size_t size);

// The number rule of the main dialog's fields: a converted number gives that
// number, a text with no number at its start gives 0, and an empty or blank
// text leaves current as it is.
int32_t TakeFieldNumber(const char* text, int32_t current);
