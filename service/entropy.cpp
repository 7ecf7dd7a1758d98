// The fallback random source: readings mixed into a chained state.
#include "service/entropy.h"

namespace {

// The finaliser of SplitMix64: every input bit reaches every output bit.
uint64_t Mix64(uint64_t x)
{
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBu;
    x ^= x >> 31;
    return x;
}

}  // namespace

uint32_t EntropyMixer::Draw(const uint64_t* readings, int count)
{
    uint64_t h = Mix64(state_ + 0x9E3779B97F4A7C15u * ++draws_);
    for (int i = 0; i < count; ++i)
        h = Mix64(h ^ Mix64(readings[i] + static_cast<uint64_t>(i)));
    state_ = h;
    // The high half goes out; the state keeps bits that were never shown.
    return static_cast<uint32_t>(Mix64(h ^ 0xD1B54A32D192ED03u) >> 32);
}
