#pragma once
// The engine's lookup tables: oscillator waveforms, note frequencies, filter
// coefficients and distortion curves. Built once at start-up and read-only
// afterwards, except userTable, which "Load..." and pattern loading replace
// while the audio thread may be reading it.

#include <cstdint>

#include "engine/crt_rand.h"
#include "model/relaxed.h"

namespace velmor {

constexpr int kWaveLength = 1024;
constexpr int kNoteSteps = 96;
constexpr int kFineSteps = 768;
constexpr int kFilterGrid = 384;
constexpr int kFilterComputed = 128;
constexpr int kDistRows = 10;
constexpr int kDistEntries = 32768;

using WaveSample = Relaxed<int16_t>;
using WaveTable = WaveSample[kWaveLength];

struct Tables {
    WaveTable sawTable;
    WaveTable squareTable;
    WaveTable sineTable;
    WaveTable saw303Table;
    WaveTable userTable;
    uint16_t noteStepTable[kNoteSteps];
    uint16_t fineStepTable[kFineSteps];
    int32_t filterSinTable[kFilterGrid];
    int32_t filterCosTable[kFilterGrid];
    int32_t distCurvesA[kDistRows][kDistEntries];
    int32_t distCurvesB[kDistRows][kDistEntries];
};

// Wave code 0..4 to its table; nullptr for any other code.
const WaveSample* waveTableFor(const Tables& t, uint32_t waveCode);

void buildDistortionCurves(Tables& t);
void buildPitchTables(Tables& t);
void buildWaveTables(Tables& t, CrtRand& rng);
// Builds the wave tables first, then the filter grid from baseHz.
void buildFilterTables(Tables& t, CrtRand& rng, double baseHz);

// Reads up to 1024 little-endian 16-bit samples from a raw file into
// userTable from entry 0. Returns 1 when the file could be opened, else 0
// (the table is then unchanged).
int loadUserWave(Tables& t, const char* path);

}  // namespace velmor
