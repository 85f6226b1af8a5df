#pragma once
// The C runtime's linear congruential generator, reproduced exactly: the
// start-up user wave and the random patterns depend on its sequence.

#include <cstdint>

namespace velmor {

struct CrtRand {
    uint32_t state = 1;
};

void srand(CrtRand& g, uint32_t seed);
// Next value, 0..32767.
int rand(CrtRand& g);

}  // namespace velmor
