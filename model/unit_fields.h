#pragma once
// The stored fields of a unit, listed once, in the order of the pattern
// file's rows: the pattern reader and writer walk these lists, and Paste
// Settings copies the fields they mark. The file holds the user waveform and
// the delay blocks between the first list and `delaySend`, and `delaySend`
// between it and the second.

#include <cstdint>

#include "base/document.h"

namespace velmor {

// Bits of the file header's presentFields: which optional rows the file
// holds.
enum PresentField : uint16_t {
    kHasFmAmount = 1,
    kHasVolume = 2,
    kHasPulseWidth = 4,  // pulseWidth, then accentOffset
    kHasOscSync = 8
};
constexpr uint16_t kAllFieldsPresent = 15;

// How one row is kept: `present` names its optional bit (0: always in the
// file), `absent` is the value every slot takes when the file lacks the row,
// and `pasted` says whether Paste Settings copies the field. The waveforms
// are not pasted as fields: paste sets them through their setter.
struct RowRule {
    uint16_t present;
    int32_t absent;
    bool pasted;
};
constexpr RowRule kPlainRow{0, 0, true};
constexpr RowRule kUnpastedRow{0, 0, false};

// Rows before the user waveform: visit(member, rule) for each.
template <class Visit>
void forEachOscillatorRow(Visit&& visit) {
    visit(&UnitRecord::osc1Wave, kUnpastedRow);
    visit(&UnitRecord::osc2Wave, kUnpastedRow);
    visit(&UnitRecord::osc1Coarse, kPlainRow);
    visit(&UnitRecord::osc2Coarse, kPlainRow);
    visit(&UnitRecord::osc1Fine, kPlainRow);
    visit(&UnitRecord::osc2Fine, kPlainRow);
    visit(&UnitRecord::oscMix, kPlainRow);
    visit(&UnitRecord::osc2Phase, kPlainRow);
}

// Rows after `delaySend`, up to the tempo.
template <class Visit>
void forEachVoiceRow(Visit&& visit) {
    visit(&UnitRecord::distMode, kPlainRow);
    visit(&UnitRecord::distWet, kPlainRow);
    visit(&UnitRecord::distThreshold, kPlainRow);
    visit(&UnitRecord::filterMode, kPlainRow);
    visit(&UnitRecord::cutoff, kPlainRow);
    visit(&UnitRecord::resonance, kPlainRow);
    visit(&UnitRecord::envAmount, kPlainRow);
    visit(&UnitRecord::lfoAmount, kPlainRow);
    visit(&UnitRecord::lfoSpeed, kPlainRow);
    visit(&UnitRecord::lfoTarget, kPlainRow);
    visit(&UnitRecord::lfoWave, kPlainRow);
    visit(&UnitRecord::spareA, kUnpastedRow);
    visit(&UnitRecord::spareB, kUnpastedRow);
    visit(&UnitRecord::midiChannel, kUnpastedRow);
    visit(&UnitRecord::spareD, kUnpastedRow);
    visit(&UnitRecord::ringMod, kPlainRow);
    visit(&UnitRecord::fmAmount, RowRule{kHasFmAmount, 0, true});
    visit(&UnitRecord::oscSync, RowRule{kHasOscSync, 0, false});
    visit(&UnitRecord::pulseWidth, RowRule{kHasPulseWidth, 0, false});
    visit(&UnitRecord::accentOffset, RowRule{kHasPulseWidth, 0, true});
    visit(&UnitRecord::attack, kPlainRow);
    visit(&UnitRecord::decay, kPlainRow);
    visit(&UnitRecord::sustainTime, kPlainRow);
    visit(&UnitRecord::release, kPlainRow);
    visit(&UnitRecord::sustainLevel, kPlainRow);
    visit(&UnitRecord::stepGate, kPlainRow);
    visit(&UnitRecord::volume, RowRule{kHasVolume, 128, true});
}

}  // namespace velmor
