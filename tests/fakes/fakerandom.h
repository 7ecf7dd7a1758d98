// Random bits for tests: what RandomBits returns is set here (0 until set),
// so request stamps are the clock readings themselves unless a test says.
#pragma once

#include <cstdint>

void FakeRandomSet(uint32_t bits);
