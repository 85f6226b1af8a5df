#pragma once
// Counts what a plugin's audio callback must never do: take or give back
// memory, wait for a lock, open, read or write files, sleep or yield. The
// test host itself provides malloc and its kin, every operator new and
// delete, the lock waits and those system calls (it exports them, so that
// the plugin it loads calls them), counts each call made while the calling
// thread is inside a plugin's audio callback, and passes every call on to
// the C library. Calls outside a callback, and other threads' calls, are
// not counted: the plugin core the hosts run in-process for reference may
// allocate as it likes. Natively on Linux only; elsewhere, and under the
// sanitizers (which provide these functions themselves), nothing counts.

#include <cstdint>
#include <string>

namespace velmor::hosttest {

// Whether this build counts.
bool realtimeCounting();

// The calling thread is inside a plugin's audio callback while one lives.
class AudioCallback {
public:
    AudioCallback();
    ~AudioCallback();
    AudioCallback(const AudioCallback&) = delete;
    AudioCallback& operator=(const AudioCallback&) = delete;
};

// Counting starts afresh.
void resetRealtimeCounts();
// Prints the counts since the reset, one line for `what`; any count not 0
// fails, naming the first offending call and where it was made.
void reportRealtimeCounts(const std::string& what);

}  // namespace velmor::hosttest
