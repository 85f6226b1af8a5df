#pragma once
// The audio thread of a sound system that takes blocks as they are
// written (PulseAudio, ALSA): blocks of 256 frames rendered by a performer
// and written, interleaved, until the thread is ended or a write fails.
// The rendering is the audio block; the writing is the sound system's.

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "plugin/standalone/performer.h"

namespace velmor {

class BlockThread {
public:
    static constexpr uint32_t kFrames = 256;
    // Writes `kFrames` interleaved stereo frames; false ends the thread.
    using Write = bool (*)(void* device, const float* frames);

    BlockThread(PluginCore& core, AskedParameters& asked, MidiRing& midi, Write write, void* device);
    // Ends the thread before the device goes.
    ~BlockThread();
    BlockThread(const BlockThread&) = delete;
    BlockThread& operator=(const BlockThread&) = delete;

private:
    void run();

    Performer performer_;
    MidiRing& midi_;
    Write write_;
    void* device_;
    std::atomic<bool> stopping_{false};
    float left_[kFrames], right_[kFrames], frames_[2 * kFrames];
    std::thread thread_;
};

}  // namespace velmor
