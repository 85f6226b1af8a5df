#pragma once
// The one data model: eight unit slots with their step planes, the link
// matrix and the global engine settings. Fields the interface thread writes
// while the audio thread renders are Relaxed: each is written whole.

#include <cstdint>

#include "engine/tables.h"
#include "model/relaxed.h"

namespace velmor {

constexpr int kUnitSlots = 8;
constexpr int kMaxUnitsInUse = 4;
constexpr int kPatternsPerUnit = 64;
constexpr int kStepsPerPattern = 16;
constexpr int kStepsPerSlot = kPatternsPerUnit * kStepsPerPattern;  // 1024
constexpr int kSongEntries = 512;

struct UnitRecord {
    // Stored fields, in the order of the pattern file.
    Relaxed<uint16_t> osc1Wave;
    Relaxed<uint16_t> osc2Wave;
    Relaxed<int32_t> osc1Coarse;
    Relaxed<int32_t> osc2Coarse;
    Relaxed<int32_t> osc1Fine;
    Relaxed<int32_t> osc2Fine;
    Relaxed<int32_t> oscMix;
    Relaxed<int32_t> osc2Phase;
    Relaxed<uint32_t> delaySend[8];  // word 0 is the send level; 1..7 reserved
    Relaxed<uint16_t> distMode;
    Relaxed<uint16_t> distWet;
    Relaxed<uint16_t> distThreshold;
    Relaxed<uint16_t> filterMode;
    Relaxed<int32_t> cutoff;
    Relaxed<int32_t> resonance;
    Relaxed<int32_t> envAmount;
    Relaxed<int32_t> lfoAmount;
    Relaxed<double> lfoSpeed;
    Relaxed<uint16_t> lfoTarget;
    Relaxed<uint16_t> lfoWave;
    uint32_t spareA = 0;
    uint64_t spareB = 0;  // 8 reserved bytes, kept bit for bit
    uint16_t spareC = 0;
    uint16_t spareD = 0;
    Relaxed<int32_t> ringMod;
    Relaxed<int32_t> fmAmount;
    Relaxed<uint32_t> oscSync;
    Relaxed<int32_t> pulseWidth;
    // Reserved in the layout; now the unit's accent strength, stored as
    // 50 minus the "Accent" position, so that the 0 of every earlier file
    // and of a fresh slot means the middle strength.
    Relaxed<uint32_t> spareE;
    Relaxed<double> attack;
    Relaxed<float> decay;
    Relaxed<int32_t> sustainTime;
    Relaxed<double> release;
    Relaxed<int32_t> sustainLevel;
    Relaxed<float> stepGate;
    Relaxed<int32_t> volume;

    // Derived fields, kept consistent by the setters.
    Relaxed<const WaveSample*> osc1Table;
    Relaxed<const WaveSample*> osc2Table;
    Relaxed<int32_t> gateSamples;
};

struct EngineSettings {
    Relaxed<int32_t> tempoBpm;
    Relaxed<int32_t> samplesPerStep;
    Relaxed<int32_t> masterVolume;
    Relaxed<int32_t> delaySteps;
    Relaxed<int32_t> delayFeedback;
    Relaxed<int32_t> delayPan;
    Relaxed<int32_t> delaySendOut;
    int32_t patternCount = 0;
    Relaxed<int32_t> currentPattern;  // the pattern the step editor shows; played in pattern mode
    Relaxed<int32_t> songLength;
    Relaxed<uint8_t> songSequence[kSongEntries];
    Relaxed<uint8_t> songMode;  // 1: Play and Stream 2 Disk follow the song
    Relaxed<int32_t> swing;     // 0..100 %: every second step starts up to a third of a step late
};

// Byte index of step s of pattern p of unit slot u in each step plane.
constexpr int stepIndex(int u, int p, int s) { return u * kStepsPerSlot + p * kStepsPerPattern + s; }

struct Store {
    UnitRecord units[kUnitSlots];
    Relaxed<int8_t> stepPitch[kUnitSlots * kStepsPerSlot];
    Relaxed<uint8_t> stepNoteOn[kUnitSlots * kStepsPerSlot];
    Relaxed<uint8_t> stepSlide[kUnitSlots * kStepsPerSlot];
    Relaxed<uint8_t> stepSpare[kUnitSlots * kStepsPerSlot];
    uint8_t unitLinks[kUnitSlots][kUnitSlots] = {};  // row: current unit, column: linked unit
    EngineSettings settings;
    Relaxed<int32_t> unitCount;
    int32_t currentUnit = 0;
    int32_t settingsSource = 0;
};

}  // namespace velmor
