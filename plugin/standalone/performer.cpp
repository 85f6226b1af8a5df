#include "plugin/standalone/performer.h"

#include <algorithm>

namespace velmor {

Performer::Performer(PluginCore& core, AskedParameters& asked)
    : core_(core), asked_(asked), events_(new HostEvent[kMostEvents]), notes_(new SentMessage[kMostEvents]) {}

void Performer::play(float* left, float* right, uint32_t frames, std::span<const StampedMidi> midi, const HostTime& time,
                     MidiRing* ring) {
    noteCount_ = 0;
    uint32_t count = 0;
    const auto add = [&](const StampedMidi& m, uint32_t frame) {
        if (m.size < 1 || m.size > 3 || count == kMostEvents) return;
        HostEvent& e = events_[count++];
        e = HostEvent{};
        e.frame = frame;
        e.size = m.size;
        std::copy(m.bytes, m.bytes + m.size, e.midi);
    };
    while (ring) {
        const StampedMidi* m = ring->front();
        if (!m) break;
        add(*m, 0);
        ring->pop();
    }
    for (const StampedMidi& m : midi) add(m, std::min(m.frame, frames ? frames - 1 : 0));
    uint32_t from = 0;
    if (!started_) {
        from = frames;
        for (uint32_t i = 0; i < count; ++i) from = std::min(from, events_[i].frame);
        if (core_.playPending() || time.playing) from = 0;
        std::fill(left, left + from, 0.0f);
        std::fill(right, right + from, 0.0f);
        // Standing, the core takes the editor's changes and edits without
        // a frame played: the editor shows them, and the engine has them
        // from its first frame on.
        if (from > 0)
            core_.process(left, right, 0, events_.get() + count, asked_.take(events_.get() + count, kMostEvents - count), time);
        if (from == frames) return;
        started_ = true;
    }
    for (uint32_t i = 0; i < count; ++i) events_[i].frame -= from;
    // The editor's changes, at the block's (or the start's) first frame.
    const uint32_t changes = asked_.take(events_.get() + count, kMostEvents - count);
    std::rotate(events_.get(), events_.get() + count, events_.get() + count + changes);
    core_.process(left + from, right + from, frames - from, events_.get(), count + changes, time);
    for (const SentMessage& m : core_.notesOut()) {
        if (noteCount_ == kMostEvents) break;
        notes_[noteCount_] = m;
        notes_[noteCount_++].frame = m.frame + from;
    }
}

}  // namespace velmor
