#pragma once
// The parameters: one table of every setting the main window and "Effects
// Setup" show, with its name, range, value text, setter and getter. A value
// is the control position as the setter takes it (Volume 0..128 with 128
// loudest, Sus Lvl and Accent 0..100 with 100 strongest: the window's
// vertical sliders show some of them upside down). setParameter writes one
// unit; setLinked writes the current unit and every unit it links, which is
// what the window does. Getters truncate like the setters, so a value often
// reads back one below what was set.

#include <cstdint>
#include <string>

#include "model/synth.h"

namespace velmor {

using Position = int16_t;

enum class Param : uint8_t {
    // Per unit, sliders.
    kCutoff,
    kResonance,
    kEnvAmount,
    kOsc1Coarse,
    kOsc1Fine,
    kOsc2Coarse,
    kOsc2Fine,
    kOscMix,
    kPhase,
    kRingMod,
    kFmAmount,
    kPulseWidth,
    kDelaySend,
    kVolume,
    kAccent,
    kDistWet,
    kThreshold,
    kAttack,
    kDecay,
    kSustain,
    kSustainLevel,
    kRelease,
    kStepGate,
    kLfoSpeed,
    kLfoAmount,
    // Per unit, choices. The waveform setters accept any value: a choice
    // outside 0..4 is stored and leaves the table as it was.
    kOsc1Wave,
    kOsc2Wave,
    kFilterMode,
    kLfoTarget,
    kLfoWave,
    kDistMode,
    kSync,
    // Global.
    kTempo,
    kMasterVolume,
    kDelaySteps,
    kFeedback,
    kPan,
    kSwing
};
constexpr int kParamCount = static_cast<int>(Param::kSwing) + 1;

// How a value reads as text.
enum class ValueText : uint8_t {
    kNumber,   // "50"
    kPercent,  // "50%"
    kBpm,      // "120 BPM"
    kSteps,    // "2 Steps": the delay length the value chooses
    kPan,      // "-32": the pan the value gives
    kChoice    // the choice's name
};

// What a change of a parameter does to the running sound besides its value:
// the oscillators of its unit restart (from the new phase), or its filter's
// memories clear.
enum class Effect : uint8_t { kNone, kRestartOscillators, kClearFilter };

struct ParameterTraits {
    Param id;
    const char* name;
    int32_t minimum, maximum;
    int32_t startUp;  // the value right after start-up
    bool global;
    ValueText text;
    const char* const* choices;  // kChoice: the name of each value from the minimum on
    void (*set)(Score&, int unit, int32_t value);
    int32_t (*get)(const Score&, int unit);
    Effect effect;
};

const ParameterTraits& parameterTraits(Param id);

// One unit (a global parameter ignores the unit), with the row's side
// effects: phase restarts, filter memories, gate lengths, step timing.
void setParameter(Synth& s, int unit, Param id, int32_t value);
int32_t getParameter(const Synth& s, int unit, Param id);
int32_t getParameter(const Score& s, int unit, Param id);

// The same change made on the engine's own score by the thread that renders
// it, the row's effect applied at once (a plugin's automation at its frame):
// the engine then plays exactly what setParameter would have sent it.
void applyParameter(Engine& e, int unit, Param id, int32_t value);

// The window's way: the current unit and each unit linked from its row of
// unitLinks, in ascending slot order; a global parameter once.
void setLinked(Synth& s, Param id, int32_t value);
// Of the current unit.
int32_t getCurrent(const Synth& s, Param id);

// "120 BPM", "Lo24", "85%", ...
std::string valueText(Param id, int32_t value);

// Calls fn(u) for every slot u linked from unit `from`'s row.
template <class Fn>
void forEachLinkedUnit(const Synth& s, int from, Fn fn) {
    const uint8_t* row = s.score.doc.unitLinks[from];
    for (int u = 0; u < kUnitSlots; ++u)
        if (row[u] != 0) fn(u);
}

// samplesPerStep from the tempo, then gateSamples of all 8 slots.
void recomputeStepTiming(Score& s);

inline constexpr int32_t delayStepChoices[5] = {1, 2, 4, 6, 8};

}  // namespace velmor
