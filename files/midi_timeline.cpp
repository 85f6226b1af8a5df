#include "files/midi_timeline.h"

#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

// Seconds from the file's start to each tick, through the tempo map.
class TickClock {
public:
    explicit TickClock(const MidiFileIn& f) : file_(f) {}
    double seconds(int64_t tick) const {
        if (file_.smpteFrames > 0) {
            const double fps = file_.smpteFrames == 29 ? 29.97 : file_.smpteFrames;
            return static_cast<double>(tick) / (fps * file_.ticksPerFrame);
        }
        const double perQuarter = file_.ticksPerQuarter > 0 ? file_.ticksPerQuarter : 96;
        double at = 0;
        int64_t from = 0;
        uint32_t micros = kDefaultMicrosPerQuarter;
        for (const MidiTempo& t : file_.tempos) {
            if (t.tick >= tick) break;
            at += (t.tick - from) * micros / perQuarter / 1e6;
            from = t.tick;
            micros = t.microsPerQuarter;
        }
        return at + (tick - from) * micros / perQuarter / 1e6;
    }
    int64_t frame(int64_t tick) const { return std::llround(seconds(tick) * 44100.0); }

private:
    const MidiFileIn& file_;
};

int32_t bpmOf(uint32_t micros) {
    const int64_t bpm = micros > 0 ? std::llround(60e6 / micros) : 120;
    return static_cast<int32_t>(bpm < 60 ? 60 : (bpm > 180 ? 180 : bpm));
}

}  // namespace

MidiTimeline timelineOf(const MidiFileIn& file) {
    const TickClock clock(file);
    MidiTimeline t;
    struct Timed {
        int64_t frame;
        bool on;
        TimedCommand message;
    };
    std::vector<Timed> all;
    all.reserve(2 * file.notes.size());
    for (const MidiNote& n : file.notes) {
        const uint8_t channel = n.channel & 15;
        all.push_back(
            {clock.frame(n.start), true, {0, EngineCommand::midi(static_cast<uint8_t>(0x90 | channel), n.key, n.velocity)}});
        all.push_back({clock.frame(n.end), false, {0, EngineCommand::midi(static_cast<uint8_t>(0x80 | channel), n.key, 64)}});
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const Timed& a, const Timed& b) { return a.frame != b.frame ? a.frame < b.frame : (!a.on && b.on); });
    for (Timed& m : all) {
        m.message.frame = m.frame;
        t.messages.push_back(m.message);
    }
    t.tempos.push_back({0, bpmOf(kDefaultMicrosPerQuarter)});
    for (const MidiTempo& tempo : file.tempos) {
        const MidiTempoAt at{clock.frame(tempo.tick), bpmOf(tempo.microsPerQuarter)};
        if (at.frame == t.tempos.back().frame)
            t.tempos.back() = at;
        else
            t.tempos.push_back(at);
    }
    t.endFrame = clock.frame(file.endTick);
    return t;
}

}  // namespace velmor
