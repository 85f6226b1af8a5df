#include "plugin/standalone/block_thread.h"

#include "plugin/standalone/audio_block.h"

namespace velmor {

BlockThread::BlockThread(PluginCore& core, AskedParameters& asked, MidiRing& midi, Write write, void* device)
    : performer_(core, asked), midi_(midi), write_(write), device_(device), thread_([this] { run(); }) {}

BlockThread::~BlockThread() {
    stopping_ = true;
    thread_.join();
}

void BlockThread::run() {
    while (!stopping_.load(std::memory_order_relaxed)) {
        {
            const AudioBlockMark mark;
            performer_.play(left_, right_, kFrames, {}, HostTime{}, &midi_);
            for (uint32_t i = 0; i < kFrames; ++i) frames_[2 * i] = left_[i], frames_[2 * i + 1] = right_[i];
        }
        if (!write_(device_, frames_)) break;
    }
}

}  // namespace velmor
