#include "audio/midi_stream.h"

#include <thread>

namespace velmor {

void MidiReceiver::reset() {
    parser_ = MidiParser{};
    last_ = INT64_MIN;
    lost_ = false;
    received_ = 0;
    pendingNoteFrame.store(-1);
}

int64_t MidiReceiver::stampFor(const Engine& e, const FrameClock& clock, int64_t frame) {
    // One stream buffer on: past every frame rendered so far, and in order.
    int64_t stamp = frame + clock.aheadFrames();
    const int64_t rendered = e.framePosition.load();
    if (stamp < rendered) stamp = rendered;
    if (stamp < last_) stamp = last_;
    last_ = stamp;
    return stamp;
}

int64_t MidiReceiver::command(Engine& e, const FrameClock& clock, std::initializer_list<EngineCommand> commands, int64_t frame) {
    const int64_t stamp = stampFor(e, clock, frame);
    while (!e.input.midi.fits(static_cast<uint32_t>(commands.size()))) std::this_thread::yield();
    for (const EngineCommand& c : commands) e.input.midi.stage({stamp, c});
    e.input.midi.commit();
    return stamp;
}

void MidiReceiver::receive(Engine& e, const FrameClock& clock, uint32_t packed, int64_t frame, int64_t micros) {
    const int64_t stamp = stampFor(e, clock, frame);
    stamps_[received_ % kLog] = stamp;
    ++received_;

    MidiMessage m;
    bool complete = false;
    for (int i = 0; i < 3 && !complete; ++i) complete = parser_.feed(static_cast<uint8_t>(packed >> (8 * i)), m);
    if (!complete) return;
    auto& ring = e.input.midi;
    if (lost_ && ring.fits(17)) {
        // A note-off may have been lost: no key may stay held.
        for (uint8_t channel = 0; channel < 16; ++channel)
            ring.stage({stamp, EngineCommand::midi(static_cast<uint8_t>(0xB0 | channel), 123, 0)});
        lost_ = false;
    }
    if (lost_ || !ring.fits(1)) {
        lost_ = true;
        return;
    }
    ring.stage({stamp, EngineCommand::midi(m.status, m.data1, m.data2, m.size)});
    ring.commit();
    if ((m.status & 0xF0) == 0x90 && m.data2 > 0) {
        pendingNoteMicros.store(micros);
        pendingNoteFrame.store(stamp);
    }
}

int64_t MidiReceiver::stampOf(uint32_t index) const {
    if (index >= received_ || received_ - index > kLog) return -1;
    return stamps_[index % kLog];
}

void ClockSender::collect(const Engine& e, int64_t blockStart) {
    const ClockOut& ticks = e.clockOut;
    const NoteOut& notes = e.noteOut;
    int t = 0, n = 0;
    while ((t < ticks.count || n < notes.count) && queue_.fits(1)) {
        if (t < ticks.count && (n == notes.count || ticks.frames[t] <= notes.messages[n].frame)) {
            queue_.stage(Timed{blockStart + ticks.frames[t++], kTick});
        } else {
            const NoteOut::Message& m = notes.messages[n++];
            queue_.stage(Timed{blockStart + m.frame, m.bytes[0] | uint32_t{m.bytes[1]} << 8 | uint32_t{m.bytes[2]} << 16});
        }
    }
    queue_.commit();
}

void ClockSender::sent(uint32_t message) {
    const uint32_t status = message & 0xF0, channel = message & 0x0F, key = (message >> 8) & 0x7F;
    const bool on = status == 0x90 && (message >> 16 & 0x7F) != 0;
    if (on)
        sounding_[channel][key >> 5] |= 1u << (key & 31);
    else if (status == 0x80 || status == 0x90)
        sounding_[channel][key >> 5] &= ~(1u << (key & 31));
}

int ClockSender::due(int64_t frame, int64_t first, uint32_t* out, int max, int64_t* frames) {
    int n = 0;
    while (n < max) {
        const Timed* queued = queue_.front();
        if (queued && queued->frame < first) {
            queue_.pop();
            continue;
        }
        if (transportCount_ > 0 && transport_[0].frame <= frame && (!queued || transport_[0].frame <= queued->frame)) {
            if (frames) frames[n] = transport_[0].frame;
            out[n++] = transport_[0].message;
            for (int i = 1; i < transportCount_; ++i) transport_[i - 1] = transport_[i];
            --transportCount_;
        } else if (queued && queued->frame <= frame) {
            if (frames) frames[n] = queued->frame;
            sent(out[n++] = queued->message);
            queue_.pop();
        } else {
            break;
        }
    }
    return n;
}

int64_t ClockSender::next() const {
    const Timed* queued = queue_.front();
    int64_t frame = queued ? queued->frame : INT64_MAX;
    if (transportCount_ > 0 && transport_[0].frame < frame) frame = transport_[0].frame;
    return frame;
}

void ClockSender::at(int64_t frame, uint32_t message) {
    if (transportCount_ == 8) return;
    transport_[transportCount_++] = Timed{frame, message};
}

void ClockSender::drop() {
    while (queue_.front()) queue_.pop();
    transportCount_ = 0;
}

int ClockSender::endNotes(uint32_t* out, int max) {
    int n = 0;
    for (uint32_t channel = 0; channel < 16; ++channel)
        for (uint32_t key = 0; key < 128; ++key)
            if ((sounding_[channel][key >> 5] >> (key & 31) & 1) != 0 && n < max) {
                out[n++] = (0x80 | channel) | key << 8;
                sounding_[channel][key >> 5] &= ~(1u << (key & 31));
            }
    return n;
}

uint32_t songPositionMessage(int32_t sixteenths) {
    const uint32_t v = static_cast<uint32_t>(sixteenths) & 0x3FFF;
    return 0xF2 | (v & 127) << 8 | (v >> 7) << 16;
}

void MidiGate::close() {
    if (depth_++ > 0) return;
    closed_.store(1);
    while (busy_.load() != 0) std::this_thread::yield();
}

}  // namespace velmor
