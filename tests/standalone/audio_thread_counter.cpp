// Preloaded into the stand-alone program by its test: counts what the
// program's audio callback must never do (realtime_counter.h) while the
// callback runs the program's block, and prints the counts as the program
// ends.

#include <cstdio>
#include <new>
#include <string>

#include "plugin/host_checks.h"
#include "plugin/realtime_counter.h"

namespace velmor::hosttest {

void fail(const std::string& what) {
    std::printf("FAILED: %s\n", what.c_str());
    std::fflush(stdout);
}

}  // namespace velmor::hosttest

namespace {

using velmor::hosttest::AudioCallback;

// Nothing the audio thread makes or ends here may allocate: the marker
// lives in storage of its own.
alignas(AudioCallback) thread_local unsigned char marker[sizeof(AudioCallback)];

__attribute__((constructor)) void start() { velmor::hosttest::resetRealtimeCounts(); }
__attribute__((destructor)) void report() { velmor::hosttest::reportRealtimeCounts("the stand-alone program's audio callback"); }

}  // namespace

extern "C" __attribute__((visibility("default"))) void velmor_audio_block(int entering) {
    if (entering)
        new (marker) AudioCallback;
    else
        reinterpret_cast<AudioCallback*>(marker)->~AudioCallback();
}
