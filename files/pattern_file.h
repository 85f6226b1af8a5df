#pragma once
// Pattern files (*.pat): the whole working state as a plain little-endian
// dump of the store. The writer produces the current layout, which begins
// with the version text "V1.0A"; the reader also takes the older single-unit
// layout without a header.

#include <cstdint>
#include <cstdio>

#include "model/synth.h"

namespace velmor {

constexpr int kPatternHeaderSize = 30;
constexpr int kOldLayoutSize = 212;
constexpr uint16_t kAllFieldsPresent = 15;

// Bits of presentFields: which optional blocks the file holds.
enum PresentField : uint16_t {
    kHasFmAmount = 1,
    kHasVolume = 2,
    kHasPulseWidth = 4,  // pulseWidth, then spareE
    kHasOscSync = 8,
};

enum class PatternReadStatus {
    kCurrentLayout,  // read (as far as the data reached)
    kOldLayout,      // read (as far as the data reached)
    kCannotOpen,     // nothing changed
    kShortHeader,    // begins with the version text but ends inside the header; nothing changed
};

// Writes the current layout. Returns 1 when the whole file was written and
// closed, 0 when it cannot be created or a write fails.
int writePatternFile(const Synth& s, const char* path);

// The same into an open stream; the caller closes it. Returns 1 when every
// write succeeded (data still in the stream's buffer is not flushed here).
int writePatternStream(const Synth& s, std::FILE* f);

// Reads a pattern file of either layout into the store. Returns 1 when it was
// read, 0 when it cannot be opened or is refused (nothing changes then).
// Counts are brought into the store's limits: unitCount 1..8, patternCount
// 0..64, songLength 0..512, at most 1024 user samples.
int readPatternFile(Synth& s, const char* path, PatternReadStatus* status = nullptr);

// The same from an open stream, read from its current position to its end;
// the caller closes it. The stream need not be seekable.
int readPatternStream(Synth& s, std::FILE* f, PatternReadStatus* status = nullptr);

// Reads the older layout from the file's current position into slot 0, the
// delay settings and the tempo.
void readOldPatternFile(Synth& s, std::FILE* f);

}  // namespace velmor
