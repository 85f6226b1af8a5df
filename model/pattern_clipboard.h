#pragma once
// Pattern copy and paste: the pitches, note switches and slides of the
// current unit's pattern through a clipboard that lives for the whole run.

#include <cstdint>

namespace velmor {

struct Synth;

struct PatternClipboard {
    // Before any copy the clipboard holds rests without slides at pitch 15
    // (C2), a pitch inside the range the step editor shows: pasting it can
    // never put an unplayable pitch into a pattern.
    int8_t pitch[16] = {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15};
    uint8_t noteOn[16] = {};
    uint8_t slide[16] = {};
    uint8_t accent[16] = {};
};

// Copies the current unit's pattern currentPattern into the clipboard: the
// pitches, note and slide switches and the accents (bit 0 of stepSpare).
void copyPattern(Synth& s);
// Copies the clipboard back into the current unit's pattern currentPattern;
// the other bits of stepSpare stay. The pattern counts as edited.
void pastePattern(Synth& s);

}  // namespace velmor
