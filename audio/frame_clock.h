#pragma once
// The frame the speaker plays now, on the engine's timeline: the stream
// buffer's play position counted on from the frame the stream began with.
// The audio tick brings it up to date every millisecond; any thread reads
// it with a play position and a time of its own.

#include <atomic>
#include <cstdint>

namespace velmor {

constexpr int64_t kFrameRate = 44100;

// The frame at the speaker. The play position alone moves in steps (ten
// milliseconds under some systems); between them the clock runs on with
// the time, following the steps' average, and never lags the position.
class FrameClock {
public:
    // Before the stream plays, with no refill running: position 0 plays
    // frame `first` of the engine's timeline. The positions go round a
    // buffer of bufferBytes, and the render runs at most `ahead` frames
    // ahead of the speaker (by default one such buffer).
    void start(int64_t first, uint32_t bufferBytes, int64_t ahead = -1);
    // The audio tick, with the position and time it has just read.
    void update(uint32_t position, int64_t micros);
    // The frame at the speaker for a position and time read since the last
    // update, on any thread.
    int64_t frameAt(uint32_t position, int64_t micros) const;
    // The frame the play position itself has reached.
    int64_t cursorFrame(uint32_t position) const;
    int64_t first() const { return first_.load(std::memory_order_acquire); }
    int64_t aheadFrames() const { return ahead_.load(std::memory_order_relaxed); }

private:
    std::atomic<int64_t> first_{0};
    std::atomic<int64_t> frame_{0};           // the position's frame at the last update
    std::atomic<int64_t> offset_{INT64_MIN};  // millionths of a frame at time 0; none yet
    std::atomic<uint32_t> bytes_{32768};
    std::atomic<int64_t> ahead_{8192};
    uint32_t lastPosition_ = 0;  // the audio tick's own
};

}  // namespace velmor
