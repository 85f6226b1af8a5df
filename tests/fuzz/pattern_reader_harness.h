#pragma once
// One pattern file from anywhere, through everything a load leads to: the
// reader into a fresh instance in the start-up state, the refresh after the
// load, one pass of "Stream 2 Disk...", saving the result and loading that
// again. Used by the fuzzing target and by the replay of its corpus.

#include <cstddef>
#include <cstdint>
#include <string>

namespace velmor::fuzz {

// Runs the input through and checks what must hold for any file: the reader
// stays inside its fields, counts end up inside the store's limits, the pass
// has its length, and what is saved loads back to the same file. Returns an
// empty string, or what went wrong. Without `render` the pass is left out
// (a hundred times faster, for fuzzing the file code alone).
std::string runPatternInput(const uint8_t* data, size_t size, bool render = true);

}  // namespace velmor::fuzz
