#include "engine/filter.h"

namespace velmor {

void computeCoefficients(FilterCoefficients& k, const Tables& t, uint16_t mode, int j, int32_t r) {
    k.j = j;
    k.r = r;
    k.mode = mode;
    k.sw = t.filterSinTable[j];
    k.cw = t.filterCosTable[j];
    if (mode == kLo12) {
        k.q = div32(k.sw * 4096, sub32(35000, r));
        k.den = add32(k.q, 8192);
        k.y2Factor = k.q - 8192;
    } else if (mode == kLo24) {
        k.q = div32(k.sw * 4096, sub32(37000, r));
        k.den = add32(k.q, 8192);
        k.y2Factor = k.q - 8192;
    } else {
        k.q = 0;
        k.den = k.sw + 8192;
        k.y2Factor = k.sw - 8192;
    }
    k.h = (8192 - k.cw) >> 1;
    k.twoCw = 2 * k.cw;
    k.cwComplement = 8192 - k.cw;
    k.divisor = prepareDivisor(k.den);
}

}  // namespace velmor
