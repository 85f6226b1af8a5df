#pragma once
// MIDI beside the sound output: the frame the speaker plays now, the MIDI
// input's messages into the engine at frames of that clock, and the MIDI
// output's clock ticks and notes sent as their frames are played. Written against the
// abstract output device, so that it runs on any platform and in tests;
// the Windows side (devices, the input window, the MIDI thread) is in
// midi_devices.
//
// Threads: the audio tick keeps the frame clock and hands each block's
// ticks over; the interface thread receives the input and starts and stops
// the clock output; the MIDI thread sends what is due. Each ring has one
// writer and one reader; the interface and the MIDI thread take turns at
// the clock output through a gate.

#include <atomic>
#include <cstdint>
#include <initializer_list>

#include "audio/frame_clock.h"
#include "audio/output.h"
#include "engine/engine.h"
#include "engine/midi_parser.h"

namespace velmor {

// The MIDI input: winmm's short messages (status in the low byte, running
// status and real-time bytes as any device sends them) taken apart into
// whole messages, each queued for the engine at the frame at the speaker
// plus one stream buffer: the block rendered next, at the offset within it
// at which the message came. Interface thread only.
class MidiReceiver {
public:
    static constexpr int kLog = 4096;

    // A new stream: no message half received, nothing lost, the log empty.
    void reset();
    // One short message arrived; `frame` is the frame at the speaker then,
    // `micros` the time. Drops it when the queue is full: the next message
    // that fits then comes after an All Notes Off on every channel.
    void receive(Engine& e, const FrameClock& clock, uint32_t packed, int64_t frame, int64_t micros);

    // Commands of the program's own for the engine, queued together at the
    // frame a message arriving now would get (waiting for room); returns
    // that frame.
    int64_t command(Engine& e, const FrameClock& clock, std::initializer_list<EngineCommand> commands, int64_t frame);

    // The frame each short message was queued at, in order of arrival (the
    // last kLog), for checks of what was played; -1 when unknown.
    int64_t stampOf(uint32_t index) const;
    uint32_t received() const { return received_; }

    // The latest note-on waiting to be heard, for the latency figure: its
    // frame (-1 once measured) and its arrival time.
    std::atomic<int64_t> pendingNoteFrame{-1};
    std::atomic<int64_t> pendingNoteMicros{0};

private:
    int64_t stampFor(const Engine& e, const FrameClock& clock, int64_t frame);
    MidiParser parser_;
    int64_t last_ = INT64_MIN;
    bool lost_ = false;
    uint32_t received_ = 0;
    int64_t stamps_[kLog] = {};
};

// What the MIDI output sends: the clock's ticks and the sequencer's notes,
// each once the speaker plays its frame, Start before the first tick of a
// Play, Stop and the Song Position Pointer where the clock stands after the
// last tick before a Stop. It keeps the notes it sent that have not ended,
// so that a Stop can end them.
class ClockSender {
public:
    static constexpr uint32_t kStart = 0xFA, kTick = 0xF8, kStop = 0xFC;

    // The audio thread, after each block: the block's ticks and notes, made
    // frames of the engine's timeline, in frame order (a tick before a note
    // at the same frame).
    void collect(const Engine& e, int64_t blockStart);

    // The following run on the MIDI thread, or on the interface thread
    // while the gate is closed.

    // The messages due at `frame` (at most `max`), in order; 0 when none.
    // Messages before `first`, the frame the stream began with, belong to a
    // stream that ended unheard: they are dropped.
    // With `frames`, the frame each was due at.
    int due(int64_t frame, int64_t first, uint32_t* out, int max, int64_t* frames = nullptr);
    // The frame the next message is due at; INT64_MAX when none waits.
    int64_t next() const;
    // A transport message at a frame: sent after the ticks before it and
    // before those at or after it.
    void at(int64_t frame, uint32_t message);
    // Every message not yet sent is dropped (a stream that ended), and the
    // transport messages waiting with them.
    void drop();
    // The note-offs of every note sent and not ended (at most `max`, as
    // Note Off with velocity 0); those notes then count as ended.
    int endNotes(uint32_t* out, int max);

private:
    struct Timed {
        int64_t frame;
        uint32_t message;
    };
    void sent(uint32_t message);
    SpscRing<Timed, 2048> queue_;
    Timed transport_[8] = {};
    int transportCount_ = 0;
    uint32_t sounding_[16][4] = {};  // a bit per channel and key
};

// The Song Position Pointer message for a count of sixteenth notes.
uint32_t songPositionMessage(int32_t sixteenths);

// The MIDI thread's turns against the interface thread's: while the gate is
// closed, no turn runs, and the interface thread may act in its place.
class MidiGate {
public:
    // The MIDI thread: a turn begins; false when the gate is closed (then
    // end the turn without acting).
    bool enter() {
        busy_.store(1);
        if (closed_.load() == 0) return true;
        busy_.store(0);
        return false;
    }
    void leave() { busy_.store(0); }
    // The interface thread: waits until no turn runs and none begins. Each
    // close is undone by one open; the gate opens with the outermost.
    void close();
    void open() {
        if (--depth_ == 0) closed_.store(0);
    }

private:
    std::atomic<uint32_t> busy_{0};
    std::atomic<uint32_t> closed_{0};
    int depth_ = 0;  // the interface thread's
};

}  // namespace velmor
