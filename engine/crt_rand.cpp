#include "engine/crt_rand.h"

namespace velmor {

void srand(CrtRand& g, uint32_t seed) { g.state = seed; }

int rand(CrtRand& g) {
    g.state = g.state * 214013u + 2531011u;
    return static_cast<int>((g.state >> 16) & 0x7FFF);
}

}  // namespace velmor
