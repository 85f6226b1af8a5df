#pragma once
// The engine's lookup tables: oscillator waveforms, note frequencies, filter
// coefficients and distortion curves. Built once at start-up and read-only
// afterwards. The fifth waveform, the user's, belongs to the document.

#include <cstdint>

#include "base/document.h"
#include "engine/crt_rand.h"

namespace velmor {

constexpr int kNoteSteps = 96;
constexpr int kFineSteps = 768;
constexpr int kFilterGrid = 384;
constexpr int kFilterComputed = 128;
constexpr int kDistRows = 10;
constexpr int kDistEntries = 32768;

struct Tables {
    WaveTable sawTable;
    WaveTable squareTable;
    WaveTable sineTable;
    WaveTable saw303Table;
    uint16_t noteStepTable[kNoteSteps];
    uint16_t fineStepTable[kFineSteps];
    int32_t filterSinTable[kFilterGrid];
    int32_t filterCosTable[kFilterGrid];
    int32_t distCurvesA[kDistRows][kDistEntries];
    int32_t distCurvesB[kDistRows][kDistEntries];
    bool distCurvesBuilt = false;
};

// Wave code 0..4 to its table (4: the user waveform); nullptr for any other
// code.
const WaveSample* waveTableFor(const Tables& t, const WaveTable& userWave, uint32_t waveCode);

void buildDistortionCurves(Tables& t);
void buildPitchTables(Tables& t);
// The four fixed waveforms, and the start-up user waveform (white noise).
void buildWaveTables(Tables& t, WaveTable& userWave, CrtRand& rng);
// Builds the wave tables first, then the filter grid from baseHz.
void buildFilterTables(Tables& t, WaveTable& userWave, CrtRand& rng, double baseHz);

}  // namespace velmor
