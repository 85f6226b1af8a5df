#pragma once
// The one way into the engine: commands that change its copy of the score or
// its running state. They come either through the interface's queue, applied
// at the start of the next block, or as a block's events, each at a frame of
// its own (renderBlock). Nothing else writes the engine while it renders.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace velmor {

struct Score;

struct EngineCommand {
    enum Kind : uint8_t {
        kWrite,               // `size` bytes at byte `offset` of the score
        kSwap,                // the whole score from `score`; then `sequence` counts as applied
        kRestartOscillators,  // of unit `value`: oscillator 1 at 0, oscillator 2 at its phase
        kClearFilter,         // the eight filter memories of unit `value`
        kRearmEnvelope,       // unit `value`'s envelope back into the attack from level 1
        kSongInserted,        // a song position was inserted before position `value`
        kSongDeleted,         // song position `value` was deleted
        kMidi,                // a MIDI message of `size` bytes in `bytes`
        kSequencer,           // `value` 0: stop (every unit released), 1: start from the beginning, 2: continue
        kClockSync,           // `value` 1: the steps follow MIDI clock; 0: the internal clock
        kClockOut,            // `value` 1: the block's MIDI clock ticks are reported
        kLocate,              // the clock to `value` sixteenths from the song's start; the next tick begins that step
        kNoteOut,             // `value` 1: the block's notes are reported as MIDI
        kLocalOff             // `value` bit u set: unit u is not heard ("Local Off")
    };
    static constexpr int kMaxWrite = 16;

    Kind kind = kWrite;
    uint8_t size = 0;
    int32_t value = 0;
    uint32_t offset = 0;
    uint8_t bytes[kMaxWrite] = {};
    const Score* score = nullptr;
    uint64_t sequence = 0;

    static EngineCommand write(uint32_t offset, const void* data, int size) {
        EngineCommand c;
        c.offset = offset;
        c.size = static_cast<uint8_t>(size);
        std::memcpy(c.bytes, data, static_cast<size_t>(size));
        return c;
    }
    static EngineCommand of(Kind kind, int32_t value) {
        EngineCommand c;
        c.kind = kind;
        c.value = value;
        return c;
    }
    static EngineCommand midi(uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0, int size = 3) {
        EngineCommand c;
        c.kind = kMidi;
        c.size = static_cast<uint8_t>(size);
        c.bytes[0] = status;
        c.bytes[1] = data1;
        c.bytes[2] = data2;
        return c;
    }
};

// A command at a frame of the block being rendered.
struct EngineEvent {
    int32_t frame = 0;
    EngineCommand command;
};

// A single-producer, single-consumer ring. The producer stages any number of
// entries and makes them visible together with commit(), so the consumer
// always takes whole transactions; neither side waits for the other.
template <class T, uint32_t Capacity>
class SpscRing {
    static_assert((Capacity & (Capacity - 1)) == 0, "a power of two");

public:
    // Producer: room for n more entries beside those already staged?
    bool fits(uint32_t n) const { return staged_ - head_.load(std::memory_order_acquire) + n <= Capacity; }
    // Producer: stages one entry (the caller made sure it fits).
    void stage(const T& v) { slots_[staged_++ & (Capacity - 1)] = v; }
    void commit() { tail_.store(staged_, std::memory_order_release); }

    // Consumer.
    const T* front() const {
        const uint32_t h = head_.load(std::memory_order_relaxed);
        return h == tail_.load(std::memory_order_acquire) ? nullptr : &slots_[h & (Capacity - 1)];
    }
    void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }

private:
    T slots_[Capacity];
    std::atomic<uint32_t> head_{0};
    std::atomic<uint32_t> tail_{0};
    uint32_t staged_ = 0;  // producer only
};

constexpr uint32_t kInputCapacity = 4096;
constexpr uint32_t kMidiCapacity = 1024;

// A command for a frame of the engine's whole timeline (framePosition):
// the MIDI input stamps what arrives so.
struct TimedCommand {
    int64_t frame = 0;
    EngineCommand command;
};

struct EngineInput {
    SpscRing<EngineCommand, kInputCapacity> queue;
    // MIDI from the thread that receives it: each message at its frame.
    SpscRing<TimedCommand, kMidiCapacity> midi;
    // The last swapped-in score's sequence number: its buffer may be freed.
    std::atomic<uint64_t> swapsApplied{0};
    // Whether the audio thread renders, and so takes the queue. Only the
    // interface thread reads or writes this: while it is false the engine
    // is the interface thread's, which applies its commands at once.
    bool audioTakes = false;
};

struct Engine;

// Carries out one command now.
void applyCommand(Engine& e, const EngineCommand& c);
// The engine plays `other` from now on, and `other` holds the score it
// played: a pointer swap, for the thread that renders.
void swapScore(Engine& e, std::unique_ptr<Score>& other);
// Applies every command the interface has committed to the queue.
void takeInput(Engine& e);

// The audio thread begins to take the engine's input. Interface thread only.
void handEngineToAudio(Engine& e);
// The interface thread has the engine back (no render runs or will start):
// what is still queued is applied now.
void takeEngineBack(Engine& e);

// The commands' effects on the running state, also used by the engine reset.
void restartOscillators(Engine& e, int u);
void clearFilterMemory(Engine& e, int u);

}  // namespace velmor
