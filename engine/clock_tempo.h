#pragma once
// The step length a MIDI clock gives, measured from the frames of its
// latest ticks (six a step) so that a late or bunched tick moves it by
// little: a least-squares line through the ticks that lie within half a
// tick of a robust first guess (the median spacing between every two ticks
// at least a quarter of them apart, through the median offset). Where the latest 24 ticks'
// end points give the same length to within a frame, a steady clock,
// theirs is taken, as it always was: 6 x span / intervals, truncated.

#include <cstdint>

namespace velmor {

constexpr int kTempoTicks = 48;   // the ticks the fit looks at
constexpr int kSteadyTicks = 24;  // the ticks whose end points a steady clock is measured by

// Frames a step lasts, from `count` (2 or more) tick frames in ascending
// order, the latest last; not clamped.
int64_t measuredStepLength(const int64_t* ticks, int count);

}  // namespace velmor
