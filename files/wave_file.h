#pragma once
// The 44-byte header of a WAVE file holding the program's frames: PCM,
// 2 channels, 44100 frames per second, 16 bits.

#include <cstdint>
#include <cstdio>

namespace velmor {

constexpr int kWaveHeaderSize = 44;

// The header for dataBytes bytes of frames.
void waveHeader(uint8_t (&header)[kWaveHeaderSize], uint32_t dataBytes);

// Writes it; returns whether all 44 bytes were written.
bool writeWaveHeader(std::FILE* f, uint32_t dataBytes);

// The largest number of frames a WAVE file can hold.
constexpr int64_t kMaxWaveFrames = (int64_t{0xFFFFFFFF} - 36) / 4;

}  // namespace velmor
