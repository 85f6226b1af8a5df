#pragma once
// Timed MIDI bytes as text: each line a frame number in decimal, then bytes
// in hex, which reach the MIDI input in that order at that frame, as on a
// cable (running status across lines, real-time bytes between data bytes
// and SysEx split over lines all work). "#" starts a comment; lines come in
// frame order. "0 90 2D 64" is a key A2 at velocity 100 at frame 0.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/engine_input.h"

namespace velmor {

// Reads the lines into whole messages at their frames. Returns an empty
// string, or what is wrong and on which line (nothing is returned then).
std::string readMidiEvents(std::FILE* f, std::vector<TimedCommand>& events);

}  // namespace velmor
