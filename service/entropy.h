// The fallback random source: readings that an outsider cannot know (a
// high-resolution counter, ids, times) mixed through a hash into a state
// that each draw carries on, for systems with no random generator to ask.
#pragma once

#include <cstdint>

class EntropyMixer {
public:
    // Mixes the readings into the state and returns 32 bits of it. Equal
    // readings on successive draws still give different bits: the state
    // from every earlier draw goes in.
    uint32_t Draw(const uint64_t* readings, int count);

private:
    uint64_t state_ = 0x6A09E667F3BCC908u;  // any fixed start; the readings make it unknown
    uint64_t draws_ = 0;
};
