#pragma once
// The stand-alone program's audio side, whatever the sound system: each
// block's MIDI (stamped with its frame) and the editor's parameter changes
// go to the plugin core, and the notes the sequencer plays come back. The
// engine stands until the first thing it plays (a MIDI message, Play, the
// host's transport) and starts at that frame, as the Windows program's
// engine starts with Play: what it plays is then the renderer's, frame for
// frame; the editor's changes reach it at once. The audio thread's, but
// for the MIDI ring's producer; nothing here allocates or waits.

#include <cstdint>
#include <memory>
#include <span>

#include "engine/engine_input.h"
#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"

namespace velmor {

// A MIDI message at a frame of the block that takes it.
struct StampedMidi {
    uint32_t frame = 0;
    uint8_t size = 0;
    uint8_t bytes[3] = {};
};

// MIDI from a thread of its own (a sequencer's reader), for the next block's
// first frame: one producer, one consumer.
using MidiRing = SpscRing<StampedMidi, 1024>;

class Performer {
public:
    static constexpr uint32_t kMostEvents = 2048;

    Performer(PluginCore& core, AskedParameters& asked);

    // One block: `midi` in frame order, then what the ring holds (at frame
    // 0); the notes the sequencer plays, at frames of this block, in
    // notesOut() afterwards.
    void play(float* left, float* right, uint32_t frames, std::span<const StampedMidi> midi, const HostTime& time,
              MidiRing* ring = nullptr);
    std::span<const SentMessage> notesOut() const { return {notes_.get(), noteCount_}; }
    bool started() const { return started_; }

private:
    PluginCore& core_;
    AskedParameters& asked_;
    std::unique_ptr<HostEvent[]> events_;
    std::unique_ptr<SentMessage[]> notes_;
    uint32_t noteCount_ = 0;
    bool started_ = false;
};

}  // namespace velmor
