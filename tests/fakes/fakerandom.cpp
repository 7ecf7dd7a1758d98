// The random source over a settable value (see fakerandom.h).
#include "tests/fakes/fakerandom.h"

#include "service/randsrc.h"

namespace {

uint32_t g_bits = 0;

}  // namespace

void FakeRandomSet(uint32_t bits) { g_bits = bits; }

uint32_t RandomBits() { return g_bits; }
