#pragma once
// The Windows audio tick: a periodic 1 ms multimedia timer that calls
// audioTick, or, where the system has no multimedia timer to give, a thread
// of its own that calls it every 10 ms. Windows only.

#include <atomic>
#include <thread>

#include "audio/output.h"
#include "engine/engine.h"

struct HWND__;

namespace velmor {

class DirectSoundDevice;

// What the tick needs; it must outlive the tick (until shutdownAudio).
struct TickContext {
    AudioOutput* out = nullptr;
    Engine* engine = nullptr;
    HWND__* owner = nullptr;  // the window that owns the message box, if any

    // The fallback tick, when the multimedia timer could not be had.
    std::thread fallback;
    std::atomic<bool> fallbackRunning{false};
};

// Microseconds of the system's high-resolution clock.
int64_t systemMicroseconds();

// Starts the tick. If the multimedia timer cannot be created it says so in
// a message box and ticks from a thread every 10 ms instead.
void startAudioTimer(AudioOutput& out, TickContext* context);

// The end of the sound output: stops the tick, stops the streaming and waits
// for a refill in progress, then releases the DirectSound objects.
void shutdownAudio(AudioOutput& out, DirectSoundDevice& ds, TickContext* context);

}  // namespace velmor
