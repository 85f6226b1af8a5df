#pragma once
// The conversions of "Adjust Average Response": slider position, buffer
// bytes and the average response shown, all in unsigned 32-bit arithmetic.

#include <cstdint>

namespace velmor {

// Slider position 0..100 to the pending buffer size: p 89376 / 100 + 4704.
inline uint32_t responseBytesForPosition(uint32_t p) { return ((p * 2793u) << 5) / 100u + 4704u; }

// The average response in milliseconds: three quarters of the buffer's play
// time at 176400 bytes per second.
inline uint32_t responseMilliseconds(uint32_t bytes) { return ((bytes * 30u) / 441u) >> 4; }

// A buffer size back to the slider position.
inline uint32_t responsePositionForBytes(uint32_t bytes) {
    return bytes * 100u < 470400u ? 0u : (bytes * 100u - 470400u) / 89376u;
}

// The size stored on OK: rounded down to a multiple of 256.
inline uint32_t storedBufferBytes(uint32_t pending) { return pending & ~uint32_t{0xFF}; }

}  // namespace velmor
