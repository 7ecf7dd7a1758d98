// Random bits for the transmit times of requests, from the best source the
// system has (randsrc_win32.cpp says which, in order).
#pragma once

#include <cstdint>

// 32 random bits; never fails (the last source is a mix of readings).
uint32_t RandomBits();
