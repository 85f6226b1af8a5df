#include "audio/frame_clock.h"

namespace velmor {

namespace {

constexpr int64_t kMicro = 1000000;
// The clock leads the play position by at most this (a step of the position
// and its jitter); a step this far off the average starts it afresh.
constexpr int64_t kMaxLeadFrames = 882;  // 20 ms

}  // namespace

void FrameClock::start(int64_t first, uint32_t bufferBytes, int64_t ahead) {
    bytes_.store(bufferBytes >= 4 ? bufferBytes : 4, std::memory_order_relaxed);
    ahead_.store(ahead >= 0 ? ahead : bytes_.load(std::memory_order_relaxed) / 4, std::memory_order_relaxed);
    offset_.store(INT64_MIN, std::memory_order_relaxed);
    frame_.store(first, std::memory_order_relaxed);
    first_.store(first, std::memory_order_release);
    lastPosition_ = 0;
}

int64_t FrameClock::cursorFrame(uint32_t position) const {
    const int64_t frame = frame_.load(std::memory_order_acquire);
    const int64_t bytes = bytes_.load(std::memory_order_relaxed);
    const int64_t phase = (frame - first_.load(std::memory_order_acquire)) * 4 % bytes;
    const int64_t at = static_cast<int64_t>(position & ~3u) % bytes;
    return frame + (at - phase + bytes) % bytes / 4;
}

void FrameClock::update(uint32_t position, int64_t micros) {
    const int64_t frame = cursorFrame(position);
    frame_.store(frame, std::memory_order_release);
    if (position == lastPosition_) return;
    lastPosition_ = position;
    // Where the clock would stand at time 0 if the position had just moved.
    const int64_t sample = frame * kMicro - micros * kFrameRate;
    const int64_t offset = offset_.load(std::memory_order_relaxed);
    const bool afresh =
        offset == INT64_MIN || sample - offset > kMaxLeadFrames * kMicro || offset - sample > kMaxLeadFrames * kMicro;
    offset_.store(afresh ? sample : offset + (sample - offset) / 8, std::memory_order_release);
}

int64_t FrameClock::frameAt(uint32_t position, int64_t micros) const {
    const int64_t cursor = cursorFrame(position);
    const int64_t offset = offset_.load(std::memory_order_acquire);
    if (offset == INT64_MIN) return cursor;
    const int64_t estimate = (micros * kFrameRate + offset) / kMicro;
    return estimate < cursor ? cursor : (estimate > cursor + kMaxLeadFrames ? cursor + kMaxLeadFrames : estimate);
}

}  // namespace velmor
