#include "files/wave_file.h"

#include <cstring>

namespace velmor {

namespace {
void putLe(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace

void waveHeader(uint8_t (&h)[kWaveHeaderSize], uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    putLe(h + 4, 36 + dataBytes, 4);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe(h + 16, 16, 4);
    putLe(h + 20, 1, 2);       // PCM
    putLe(h + 22, 2, 2);       // channels
    putLe(h + 24, 44100, 4);   // frames per second
    putLe(h + 28, 176400, 4);  // bytes per second
    putLe(h + 32, 4, 2);       // bytes per frame
    putLe(h + 34, 16, 2);      // bits per sample
    std::memcpy(h + 36, "data", 4);
    putLe(h + 40, dataBytes, 4);
}

bool writeWaveHeader(std::FILE* f, uint32_t dataBytes) {
    uint8_t h[kWaveHeaderSize];
    waveHeader(h, dataBytes);
    return std::fwrite(h, 1, sizeof h, f) == sizeof h;
}

}  // namespace velmor
