// The MIDI reader's fuzz target (libFuzzer): a configuration with clang and
// -DVELMOR_FUZZ=ON builds velmor-midi-fuzz; what it finds goes into
// tests/fuzz/midi-corpus/, which the unit tests replay.

#include <cstdio>
#include <cstdlib>

#include "fuzz/midi_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string failed = velmor::testing::checkMidiInput(data, size);
    if (!failed.empty()) {
        std::fprintf(stderr, "%s\n", failed.c_str());
        std::abort();
    }
    return 0;
}
