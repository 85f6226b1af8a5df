#pragma once
// The one data model. The document is what a pattern file stores: eight unit
// slots with their step planes, the link matrix, the global settings and the
// user waveform. Beside it lie the values the setters derive from it and the
// pattern chosen to play (together: the score, what the engine plays from),
// and the window's selection. Every type here is plain data: a score is
// copied, compared and patched as bytes.

#include <bit>
#include <cstdint>

namespace velmor {

constexpr int kUnitSlots = 8;
constexpr int kMaxUnitsInUse = 4;
constexpr int kPatternsPerUnit = 64;
constexpr int kStepsPerPattern = 16;
constexpr int kStepsPerSlot = kPatternsPerUnit * kStepsPerPattern;  // 1024
constexpr int kSongEntries = 512;
constexpr int kWaveLength = 1024;

using WaveSample = int16_t;
using WaveTable = WaveSample[kWaveLength];

// A floating-point field held as its bit pattern, so that a stored value (a
// NaN from a pattern file included) passes through copies, files and patches
// unchanged: only arithmetic ever sees it as a floating-point value.
template <class F, class Bits>
class StoredFloat {
public:
    constexpr StoredFloat() noexcept = default;
    StoredFloat(F v) noexcept : bits_(std::bit_cast<Bits>(v)) {}
    F load() const noexcept { return std::bit_cast<F>(bits_); }
    Bits loadBits() const noexcept { return bits_; }
    void storeBits(Bits b) noexcept { bits_ = b; }
    operator F() const noexcept { return load(); }
    StoredFloat& operator=(F v) noexcept {
        bits_ = std::bit_cast<Bits>(v);
        return *this;
    }

private:
    Bits bits_ = 0;
};
using StoredSingle = StoredFloat<float, uint32_t>;
using StoredDouble = StoredFloat<double, uint64_t>;

struct UnitRecord {
    // In the order of the pattern file.
    uint16_t osc1Wave{};
    uint16_t osc2Wave{};
    int32_t osc1Coarse{};
    int32_t osc2Coarse{};
    int32_t osc1Fine{};
    int32_t osc2Fine{};
    int32_t oscMix{};
    int32_t osc2Phase{};
    uint32_t delaySend[8]{};  // word 0 is the send level; 1..7 reserved
    uint16_t distMode{};
    uint16_t distWet{};
    uint16_t distThreshold{};
    uint16_t filterMode{};
    int32_t cutoff{};
    int32_t resonance{};
    int32_t envAmount{};
    int32_t lfoAmount{};
    StoredDouble lfoSpeed{};
    uint16_t lfoTarget{};
    uint16_t lfoWave{};
    uint32_t spareA{};
    uint64_t spareB{};  // 8 reserved bytes, kept bit for bit
    // The MIDI channel the unit listens on: 0 its own number (unit n on
    // channel n), 1..16 that channel, anything else none.
    uint16_t midiChannel{};
    uint16_t spareD{};
    int32_t ringMod{};
    int32_t fmAmount{};
    uint32_t oscSync{};
    int32_t pulseWidth{};
    // The unit's accent strength as 50 minus the "Accent" position, so that
    // the 0 of every earlier file and of a fresh slot is the middle strength.
    uint32_t accentOffset{};
    StoredDouble attack{};
    StoredSingle decay{};
    int32_t sustainTime{};
    StoredDouble release{};
    int32_t sustainLevel{};
    StoredSingle stepGate{};
    int32_t volume{};
};

struct EngineSettings {
    int32_t tempoBpm{};
    int32_t masterVolume{};
    int32_t delaySteps{};
    int32_t delayFeedback{};
    int32_t delayPan{};
    int32_t patternCount{};
    int32_t songLength{};
    uint8_t songSequence[kSongEntries]{};
    uint8_t songMode{};  // 1: Play and Stream 2 Disk follow the song
    int32_t swing{};     // 0..100 %: every second step starts up to a third of a step late
};

// Byte index of step s of pattern p of unit slot u in each step plane.
constexpr int stepIndex(int u, int p, int s) { return u * kStepsPerSlot + p * kStepsPerPattern + s; }

struct Document {
    UnitRecord units[kUnitSlots];
    int8_t stepPitch[kUnitSlots * kStepsPerSlot]{};
    uint8_t stepNoteOn[kUnitSlots * kStepsPerSlot]{};
    uint8_t stepSlide[kUnitSlots * kStepsPerSlot]{};
    uint8_t stepSpare[kUnitSlots * kStepsPerSlot]{};  // bit 0: accent
    uint8_t unitLinks[kUnitSlots][kUnitSlots]{};      // row: current unit, column: linked unit
    EngineSettings settings;
    int32_t unitCount{};
    WaveTable userWave{};  // the "User" waveform
};

// What the setters derive for a unit slot: the wave code (0..4) of the table
// each oscillator reads, which a choice outside 0..4 leaves as it was, and
// the frames after a step's start at which its gate closes.
struct UnitDerived {
    uint8_t osc1Table{};
    uint8_t osc2Table{};
    int32_t gateSamples{};
};

struct Derived {
    UnitDerived units[kUnitSlots];
    int32_t samplesPerStep{};
    int32_t currentPattern{};  // the pattern the step editor shows; played in pattern mode
};

// Everything the engine plays from. The model keeps one, which the interface
// edits; the engine keeps its own copy, which only its input changes.
struct Score {
    Document doc;
    Derived derived;
};

// The window's choices, which neither files nor the engine see.
struct Selection {
    int32_t currentUnit = 0;
    int32_t settingsSource = 0;
};

}  // namespace velmor
