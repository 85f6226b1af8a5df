#include "plugin/plugin_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "engine/clock_tempo.h"
#include "engine/render.h"
#include "files/pattern_file.h"
#include "model/parameters.h"
#include "model/units.h"
#include "plugin/base64.h"
#include "plugin/plugin_parameters.h"
#include "plugin/resampler.h"

namespace velmor {

namespace {

constexpr char kStateTag[] = "Velmor pattern ";
constexpr int kStateFormat = 1;
constexpr uint32_t kMaxEngineEvents = 16384;
constexpr uint32_t kMaxEngineBlock = 65536;
// Notes waiting for their host frame (a few blocks' worth), and sent in one call.
constexpr uint32_t kMaxDueNotes = 2 * NoteOut::kMax;
constexpr uint32_t kMaxSentNotes = 4096;
// A song position this far (a quarter of a clock tick) from where the
// tempo brought it is a jump.
constexpr double kJumpSixteenths = 1.0 / 24;
// The most a host's musical position is rounded by: 4/1920 of a beat.
constexpr double kRoundingSixteenths = 1.0 / 120;
// The commands for the running state a delivery carries: a load posts a
// few for each unit slot.
constexpr uint32_t kMaxDeliveredCommands = 64;

// The units in use brought to `count`: a unit brought into use takes
// `fresh` (unit 1's start-up settings), and its waveforms reach it and every
// unit it links, as Add Unit does. `setWave(unit, param, value)` sets one
// with its effect.
template <class SetWave>
void bringUnitsInUse(Score& s, int32_t count, const UnitRecord& fresh, SetWave&& setWave) {
    Document& d = s.doc;
    while (d.unitCount < count && d.unitCount < kMaxUnitsInUse) {
        const int u = d.unitCount;
        d.units[u] = fresh;
        d.unitCount = u + 1;
        for (const Param p : {Param::kOsc1Wave, Param::kOsc2Wave})
            for (int l = 0; l < kUnitSlots; ++l)
                if (d.unitLinks[u][l] != 0) setWave(l, p, p == Param::kOsc1Wave ? fresh.osc1Wave : fresh.osc2Wave);
    }
    if (d.unitCount > count) d.unitCount = count;
    recomputeStepTiming(s);
}

}  // namespace

struct PluginCore::Delivery {
    std::unique_ptr<Score> score;
    EngineCommand commands[kMaxDeliveredCommands];
    uint32_t commandCount = 0;
    float values[kPluginParameterCount] = {};
};

bool noteEvent(uint32_t frame, bool on, int channel, int key, double velocity, HostEvent& out) {
    if (key < 0 || key > 127 || channel < 0 || channel > 15) return false;
    const auto v = static_cast<uint8_t>(std::lround(std::clamp(velocity, 0.0, 1.0) * 127));
    out = HostEvent{};
    out.frame = frame;
    out.size = 3;
    out.midi[0] = static_cast<uint8_t>((on ? 0x90 : 0x80) | channel);
    out.midi[1] = static_cast<uint8_t>(key);
    out.midi[2] = on ? std::max<uint8_t>(v, 1) : v;
    return true;
}

PluginCore::PluginCore(double hostRate)
    : synth_(makeSynth()),
      engineEvents_(new EngineEvent[kMaxEngineEvents]),
      spanEvents_(new EngineEvent[kMaxEngineEvents]),
      frames16_(new int16_t[2 * kMaxEngineBlock]),
      floats_(new float[2 * kMaxEngineBlock]),
      due_(new DueNote[kMaxDueNotes]),
      sent_(new SentMessage[kMaxSentNotes]),
      values_(new std::atomic<float>[kPluginParameterCount]),
      changedByAudio_(new std::atomic<bool>[kPluginParameterCount]) {
    Synth& s = *synth_;
    startUpState(s);
    startUpUnit_ = s.score.doc.units[0];
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        values_[i] = static_cast<float>(pluginParameter(i).defaultValue);
        changedByAudio_[i] = false;
    }
    // "Sequencer" Off: the units sound only from notes.
    applyCommand(s.engine, EngineCommand::of(EngineCommand::kSequencer, 0));
    // Its notes go out as MIDI whenever it plays.
    applyCommand(s.engine, EngineCommand::of(EngineCommand::kNoteOut, 1));
    // From now on the engine is the audio thread's: what the model changes
    // reaches it as deliveries.
    s.feed.deliver = &PluginCore::deliver;
    s.feed.deliverTo = this;
    setHostRate(hostRate);
}

PluginCore::~PluginCore() {
    delete pending_.exchange(nullptr);
    for (auto& slot : spent_) delete slot.exchange(nullptr);
}

void PluginCore::setHostRate(double hostRate) {
    hostRate_ = hostRate > 0 ? hostRate : kEngineRate;
    resampler_.reset();
    if (hostRate_ != kEngineRate) resampler_ = Resampler::create(kEngineRate, hostRate_);
    if (!resampler_) hostRate_ = kEngineRate;
    latency_ = resampler_ ? resampler_->latency() : 0;
    hostFrames_ = 0;
    engineFrames_ = 0;
    // Notes still waiting go out at the next block's start.
    for (uint32_t i = 0; i < dueCount_; ++i) due_[i].hostFrame = 0;
}

float PluginCore::parameterValue(uint32_t index) const {
    return index < kPluginParameterCount ? values_[index].load(std::memory_order_relaxed) : 0.0f;
}

// The audio thread.

void PluginCore::applyHostParameter(uint32_t index, float value) {
    if (index >= kPluginParameterCount) return;
    // The value it holds changes nothing: hosts send unchanged values again
    // (setting a waveform restarts the oscillators), and a host's saved
    // state sets every parameter after the pattern, whose values may lie
    // outside the ranges.
    if (std::lround(value) == std::lround(values_[index].load(std::memory_order_relaxed))) return;
    const PluginParameter& p = pluginParameter(index);
    const int32_t v = static_cast<int32_t>(std::lround(std::clamp<float>(value, p.minimum, p.maximum)));
    values_[index].store(static_cast<float>(v), std::memory_order_relaxed);
    Engine& e = synth_->engine;
    switch (p.control) {
        case PluginControl::kSequencer: followHostAsked_ = v != 0; return;
        case PluginControl::kLocalOff: {
            int32_t off = 0;
            for (uint32_t u = 0; u < kPluginUnits; ++u)
                if (values_[kFirstLocalOffParameter + u].load(std::memory_order_relaxed) != 0) off |= 1 << u;
            applyCommand(e, EngineCommand::of(EngineCommand::kLocalOff, off));
            return;
        }
        case PluginControl::kModel: applyParameter(e, p.unitIndex, p.param, v); break;
        case PluginControl::kUnits: {
            const int32_t before = e.score->doc.unitCount;
            bringUnitsInUse(*e.score, v, startUpUnit_, [&e](int u, Param q, int32_t w) { applyParameter(e, u, q, w); });
            // A unit brought into use shows its settings.
            for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
                const PluginParameter& u = pluginParameter(i);
                if (u.control != PluginControl::kModel || u.unitIndex < before || u.unitIndex >= v) continue;
                values_[i].store(static_cast<float>(getParameter(*e.score, u.unitIndex, u.param)), std::memory_order_relaxed);
                changedByAudio_[i].store(true, std::memory_order_release);
            }
            break;
        }
    }
    changedByAudio_[index].store(true, std::memory_order_release);
    changes_.fetch_add(1, std::memory_order_relaxed);
}

int32_t PluginCore::engineOffset(int64_t hostFrame) const {
    if (!resampler_) return static_cast<int32_t>(hostFrame - hostFrames_);
    const int64_t e = static_cast<int64_t>(std::floor(static_cast<double>(hostFrame) * kEngineRate / hostRate_));
    return static_cast<int32_t>(e - engineFrames_);
}

double PluginCore::measuredTempo(const HostTime& time) {
    const auto tempo = [this] {
        return crossingCount_ < 2 ? 0.0
                                  : hostRate_ * 60 / 4 / static_cast<double>(measuredStepLength(crossings_, crossingCount_));
    };
    const double last = lastSixteenths_, moved = time.sixteenths - last;
    const int64_t lastFrame = lastFrame_;
    if (time.playing && time.valid && last >= 0 && moved == 0) return tempo();  // a piece of a long block
    lastSixteenths_ = time.playing && time.valid ? time.sixteenths : -1;
    lastFrame_ = hostFrames_;
    // Started, stopped or jumped (back, or more than a quarter note a
    // block): the measure begins anew.
    if (last < 0 || lastSixteenths_ < 0 || moved < 0 || moved > 4) {
        crossingCount_ = 0;
        return 0;
    }
    for (double tick = std::floor(last * 6) + 1; tick <= time.sixteenths * 6; ++tick) {
        if (crossingCount_ == kTempoTicks) std::copy(crossings_ + 1, crossings_ + kTempoTicks, crossings_), --crossingCount_;
        crossings_[crossingCount_++] =
            lastFrame + std::llround((tick / 6 - last) / moved * static_cast<double>(hostFrames_ - lastFrame));
    }
    return tempo();
}

int64_t PluginCore::hostFrameOf(int64_t engineFrame) const {
    if (!resampler_) return engineFrame - engineFrames_ + hostFrames_;
    return static_cast<int64_t>(std::ceil(static_cast<double>(engineFrame) * hostRate_ / kEngineRate)) + latency_;
}

void PluginCore::followHost(const HostTime& time, uint32_t frames) {
    Engine& e = synth_->engine;
    const double bpm = time.tempoKnown ? time.beatsPerMinute : measuredTempo(time);
    if (followHostAsked_ != following_) {
        following_ = followHostAsked_;
        addEvent(0, EngineCommand::of(EngineCommand::kClockSync, following_ ? 1 : 0));
        addEvent(0, EngineCommand::of(EngineCommand::kSequencer, 0));
        wasPlaying_ = false;
        playing_.store(false, std::memory_order_relaxed);
    }
    const int asked = playAsked_.exchange(-1, std::memory_order_acq_rel);
    if (!following_) {
        if (asked >= 0 && ownTransport_) {
            addEvent(0, EngineCommand::of(EngineCommand::kSequencer, asked));
            playing_.store(asked != 0, std::memory_order_relaxed);
        }
        return;
    }
    const bool playing = time.playing && time.valid && bpm > 0;
    if (!playing) {
        if (wasPlaying_) addEvent(0, EngineCommand::of(EngineCommand::kSequencer, 0));
        wasPlaying_ = false;
        return;
    }
    // Host frames a sixteenth note lasts, at the host's tempo (the steps'
    // length follows the ticks, clamped to 60..180 BPM by the engine).
    const double perSixteenth = hostRate_ * 60.0 / bpm / 4.0;
    double at = time.sixteenths;
    // Started, or the song position jumped (a locate or a loop): the clock
    // stands at the next sixteenth, whose tick begins its step. Hosts give
    // the position rounded (to their own ticks, some to 1/1920 of a beat):
    // a difference of less than a quarter of a clock tick from where the
    // tempo brought the position is that rounding, and the position runs on
    // undisturbed. It is counted from the last jump or change of tempo, not
    // added up block by block, lest rounding errors gather.
    // A measured tempo moves a little at every block: the host's position
    // anchors each block then.
    const double expected = time.tempoKnown ? anchorSixteenths_ + (hostFrames_ - anchorFrame_) / anchorPerSixteenth_ : at;
    if (!wasPlaying_ || std::fabs(at - expected) > kJumpSixteenths) {
        // Where the song's tempo has not changed since its start, the
        // host's frame gives the position to the frame.
        const double fromFrame = static_cast<double>(time.frame) / perSixteenth;
        if (time.frameValid && std::fabs(fromFrame - at) <= kRoundingSixteenths) at = fromFrame;
        const int64_t next = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(at - 1e-9)));
        addEvent(0, EngineCommand::of(EngineCommand::kLocate, static_cast<int32_t>(next)));
        if (!wasPlaying_ || !e.running) addEvent(0, EngineCommand::of(EngineCommand::kSequencer, 2));
        nextTick_ = 6 * next;
        anchorPerSixteenth_ = 0;  // anchored below
    } else {
        at = expected;
    }
    if (perSixteenth != anchorPerSixteenth_ || !time.tempoKnown) {
        anchorSixteenths_ = at;
        anchorFrame_ = hostFrames_;
        anchorPerSixteenth_ = perSixteenth;
    }
    wasPlaying_ = true;
    // Six ticks a sixteenth, each at the first frame at or after its time
    // (reckoned from the anchor, with as few roundings as can be).
    const double anchorOffset = anchorSixteenths_ * perSixteenth + static_cast<double>(hostFrames_ - anchorFrame_);
    for (;; ++nextTick_) {
        const double offset = static_cast<double>(nextTick_) * perSixteenth / 6 - anchorOffset;
        const int64_t frame = std::max<int64_t>(0, static_cast<int64_t>(std::ceil(offset - 1e-9)));
        if (frame >= frames) break;
        addEvent(engineOffset(hostFrames_ + frame), EngineCommand::midi(0xF8, 0, 0, 1));
    }
}

void PluginCore::process(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount,
                         const HostTime& time) {
    // A longer block plays in pieces the engine's buffers hold (at any host
    // rate down to 2756 Hz) and the resampler was made for, each with its
    // events and the host's position where it starts.
    constexpr uint32_t kMostFrames = Resampler::kLongestHostBlock;
    sentCount_ = 0;
    HostTime at = time;
    uint32_t done = 0, first = 0;
    do {
        const uint32_t piece = std::min(kMostFrames, frames - done);
        const bool last = done + piece == frames;
        uint32_t end = first;
        while (end < eventCount && (last || events[end].frame < done + piece)) ++end;
        processPiece(left + done, right + done, piece, events + first, end - first, done, at);
        first = end;
        done += piece;
        if (at.tempoKnown) at.sixteenths += piece / hostRate_ * at.beatsPerMinute / 15;
        at.frame += piece;
    } while (done < frames);
}

void PluginCore::processPiece(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount,
                              uint32_t base, const HostTime& time) {
    // The host frame of an event, counted from the piece's first frame.
    const auto hostFrame = [&](const HostEvent& h) { return hostFrames_ + (h.frame > base ? h.frame - base : 0); };
    takeDelivery();
    // The engine frames this block covers.
    const int64_t end =
        resampler_ ? static_cast<int64_t>(std::floor(static_cast<double>(hostFrames_ + frames) * kEngineRate / hostRate_))
                   : engineFrames_ + frames;
    blockLength_ = static_cast<uint32_t>(end - engineFrames_);
    // Events that fell on the last block's end (or into a block without an
    // engine frame, the host's rate being higher) come first.
    engineEventCount_ = carried_;
    for (uint32_t i = 0; i < carried_; ++i) engineEvents_[i].frame = 0;
    carried_ = 0;
    // "Sequencer" takes effect for the whole block.
    for (uint32_t i = 0; i < eventCount; ++i)
        if (events[i].isParameter && events[i].parameter == kSequencerParameter)
            applyHostParameter(events[i].parameter, events[i].value);
    followHost(time, frames);
    // Notes and controllers go in as events at their frames; a host's own
    // clock and transport messages are not the sequencer's, but those that
    // reach a program of its own while it follows are.
    const auto takes = [&](uint8_t status) {
        if (status >= 0x80 && status < 0xF0) return true;
        return ownTransport_ && following_ && (status == 0xF8 || status == 0xFA || status == 0xFB || status == 0xFC);
    };
    for (uint32_t i = 0; i < eventCount; ++i) {
        const HostEvent& h = events[i];
        if (!h.isParameter && h.size > 0 && takes(h.midi[0]))
            addEvent(engineOffset(hostFrame(h)),
                     EngineCommand::midi(h.midi[0], h.size > 1 ? h.midi[1] : 0, h.size > 2 ? h.midi[2] : 0, h.size));
    }
    // In frame order, keeping the order of events at one frame.
    for (uint32_t i = 1; i < engineEventCount_; ++i)
        for (uint32_t k = i; k > 0 && engineEvents_[k - 1].frame > engineEvents_[k].frame; --k)
            std::swap(engineEvents_[k - 1], engineEvents_[k]);
    // The block is split at each parameter change.
    uint32_t done = 0, next = 0;
    for (uint32_t i = 0; i < eventCount; ++i) {
        if (!events[i].isParameter || events[i].parameter == kSequencerParameter) continue;
        const int32_t at = engineOffset(hostFrame(events[i]));
        renderSpan(done, at < static_cast<int32_t>(done) ? done : static_cast<uint32_t>(at), next);
        applyHostParameter(events[i].parameter, events[i].value);
    }
    renderSpan(done, blockLength_, next);
    for (uint32_t i = next; i < engineEventCount_; ++i) engineEvents_[carried_++] = engineEvents_[i];
    if (resampler_) {
        for (uint32_t i = 0; i < 2 * blockLength_; ++i) floats_[i] = frames16_[i] / 32768.0f;
        resampler_->push(floats_.get(), blockLength_);
        resampler_->pull(left, right, frames);
    } else {
        for (uint32_t i = 0; i < frames; ++i) {
            left[i] = frames16_[2 * i] / 32768.0f;
            right[i] = frames16_[2 * i + 1] / 32768.0f;
        }
    }
    sendNotes(frames, base);
    hostFrames_ += frames;
    engineFrames_ = end;
}

void PluginCore::renderSpan(uint32_t& done, uint32_t until, uint32_t& next) {
    if (until > blockLength_) until = blockLength_;
    if (until <= done) return;  // what falls here waits for the next frame rendered
    uint32_t count = 0;
    // The last span takes what falls on the block's end too.
    while (next < engineEventCount_ && (engineEvents_[next].frame < static_cast<int32_t>(until) || until == blockLength_)) {
        spanEvents_[count++] = {engineEvents_[next].frame - static_cast<int32_t>(done), engineEvents_[next].command};
        ++next;
    }
    renderBlock(synth_->engine, frames16_.get() + 2 * done, (until - done) * 4, {spanEvents_.get(), count});
    const NoteOut& notes = synth_->engine.noteOut;
    for (int32_t i = 0; i < notes.count && dueCount_ < kMaxDueNotes; ++i) {
        const NoteOut::Message& m = notes.messages[i];
        due_[dueCount_++] = {hostFrameOf(engineFrames_ + done + m.frame), {m.bytes[0], m.bytes[1], m.bytes[2]}};
    }
    done = until;
}

void PluginCore::sendNotes(uint32_t frames, uint32_t base) {
    const int64_t end = hostFrames_ + frames;
    uint32_t waiting = 0;
    for (uint32_t i = 0; i < dueCount_; ++i) {
        const DueNote& n = due_[i];
        if (n.hostFrame >= end || sentCount_ == kMaxSentNotes) {
            due_[waiting++] = n;
            continue;
        }
        // One the host's rate puts before the piece (its engine frame and the
        // last one before shared a host frame) goes at its start.
        const auto frame = base + static_cast<uint32_t>(std::max<int64_t>(0, n.hostFrame - hostFrames_));
        sent_[sentCount_++] = {frame, {n.bytes[0], n.bytes[1], n.bytes[2]}};
    }
    dueCount_ = waiting;
}

void PluginCore::addEvent(int32_t frame, const EngineCommand& c) {
    if (engineEventCount_ == kMaxEngineEvents) return;
    engineEvents_[engineEventCount_++] = {
        frame < 0 ? 0 : (frame > static_cast<int32_t>(blockLength_) ? static_cast<int32_t>(blockLength_) : frame), c};
}

void PluginCore::takeDelivery() {
    Delivery* d = pending_.exchange(nullptr, std::memory_order_acquire);
    if (!d) return;
    Engine& e = synth_->engine;
    swapScore(e, d->score);
    for (uint32_t i = 0; i < d->commandCount; ++i) applyCommand(e, d->commands[i]);
    // The values it gives replace those of changes made before it.
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        if (!parameterInPattern(i)) continue;
        values_[i].store(d->values[i], std::memory_order_relaxed);
        changedByAudio_[i].store(false, std::memory_order_relaxed);
    }
    // Freed by the main thread. Each delivery frees every slot, and one is
    // in flight at most meanwhile: a slot is free.
    for (auto& slot : spent_) {
        Delivery* none = nullptr;
        if (slot.compare_exchange_strong(none, d, std::memory_order_release)) break;
    }
}

// The main thread.

void PluginCore::storeValues(float* to) const {
    const Synth& s = *synth_;
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
        const PluginParameter& p = pluginParameter(i);
        if (p.control == PluginControl::kModel)
            to[i] = static_cast<float>(getParameter(s, p.unitIndex, p.param));
        else if (p.control == PluginControl::kUnits)
            to[i] = static_cast<float>(s.score.doc.unitCount);
        else
            to[i] = values_[i].load(std::memory_order_relaxed);
    }
}

void PluginCore::deliver(void* core, const Score& score, const std::vector<EngineCommand>& transaction) {
    auto& self = *static_cast<PluginCore*>(core);
    auto d = std::make_unique<Delivery>();
    d->score = std::make_unique<Score>(score);
    // One that waits still, not taken, gives its commands first.
    std::unique_ptr<Delivery> waiting(self.pending_.exchange(nullptr, std::memory_order_acquire));
    // The running-state commands in order, each once: a restart or a clear
    // made twice is made once (a load of linked units posts many).
    const auto keep = [&d](const EngineCommand& c) {
        if (c.kind == EngineCommand::kWrite || c.kind == EngineCommand::kSwap) return;
        for (uint32_t i = 0; i < d->commandCount; ++i)
            if (d->commands[i].kind == c.kind && d->commands[i].value == c.value) return;
        if (d->commandCount < kMaxDeliveredCommands) d->commands[d->commandCount++] = c;
    };
    if (waiting)
        for (uint32_t i = 0; i < waiting->commandCount; ++i) keep(waiting->commands[i]);
    for (const EngineCommand& c : transaction) keep(c);
    self.storeValues(d->values);
    for (uint32_t i = 0; i < kPluginParameterCount; ++i)
        if (parameterInPattern(i)) self.values_[i].store(d->values[i], std::memory_order_relaxed);
    for (auto& slot : self.spent_) delete slot.exchange(nullptr, std::memory_order_acquire);
    self.pending_.store(d.release(), std::memory_order_release);
    self.changes_.fetch_add(1, std::memory_order_relaxed);
}

void PluginCore::mirrorEngine() const {
    Synth& s = *synth_;
    s.feed.mirroring = true;
    {
        Edit edit(s);
        if (changedByAudio_[kUnitsParameter].exchange(false, std::memory_order_acquire))
            bringUnitsInUse(s.score, static_cast<int32_t>(values_[kUnitsParameter].load(std::memory_order_relaxed)), startUpUnit_,
                            [&s](int u, Param p, int32_t v) { setParameter(s, u, p, v); });
        for (uint32_t i = 0; i < kPluginParameterCount; ++i) {
            const PluginParameter& p = pluginParameter(i);
            if (p.control != PluginControl::kModel || !changedByAudio_[i].exchange(false, std::memory_order_acquire)) continue;
            setParameter(s, p.unitIndex, p.param, static_cast<int32_t>(values_[i].load(std::memory_order_relaxed)));
        }
    }
    s.feed.mirroring = false;
}

const Synth& PluginCore::model() const {
    mirrorEngine();
    return *synth_;
}

Synth& PluginCore::editModel() {
    mirrorEngine();
    return *synth_;
}

std::unique_ptr<Document> PluginCore::readDocument(const void* data, size_t size, std::string& why) const {
    mirrorEngine();
    auto doc = std::make_unique<Document>(synth_->score.doc);
    PatternReadStatus status;
    if (readPatternBytes(data, size, *doc, &status)) return doc;
    why = status == PatternReadStatus::kShortHeader ? "the pattern ends inside its 30-byte header"
                                                    : "the pattern could not be read";
    return nullptr;
}

bool PluginCore::loadPatternBytes(const void* data, size_t size, const char* editName, std::string& why) {
    const std::unique_ptr<Document> doc = readDocument(data, size, why);
    if (!doc) return false;
    Edit edit(*synth_, editName);
    replaceDocument(*synth_, *doc);
    return true;
}

std::string PluginCore::state() const {
    mirrorEngine();
    std::string bytes;
    writePatternBytes(synth_->score.doc, bytes);
    return kStateTag + std::to_string(kStateFormat) + "\n" + base64Encode(bytes);
}

bool PluginCore::loadState(const std::string& text, std::string& why) {
    // "Velmor pattern N": a later format keeps the pattern as this one reads it.
    const size_t tag = sizeof kStateTag - 1;
    const size_t line = text.find('\n');
    char* end = nullptr;
    const long format =
        text.compare(0, tag, kStateTag) == 0 && line != std::string::npos ? std::strtol(text.c_str() + tag, &end, 10) : 0;
    if (format < 1 || end != text.c_str() + line) {
        why = "the state is not a Velmor pattern (no \"Velmor pattern 1\" tag)";
        return false;
    }
    std::string bytes;
    if (!base64Decode(text.substr(line + 1), bytes)) {
        why = "the state's pattern is damaged (not base64)";
        return false;
    }
    const std::unique_ptr<Document> doc = readDocument(bytes.data(), bytes.size(), why);
    if (!doc) return false;
    if (format > kStateFormat)
        std::fprintf(stderr,
                     "Velmor: the state was written by a later version (format %ld); what this one knows of it is loaded\n",
                     format);
    installDocument(*synth_, *doc);
    return true;
}

bool PluginCore::loadPatternFile(const char* path, std::string& why) {
    // Any file reads as the older layout, which has no header: only a
    // pattern file's name is taken (a host may hand over other paths).
    const size_t length = std::strlen(path);
    if (length < 4 || path[length - 4] != '.' || (path[length - 3] | 0x20) != 'p' || (path[length - 2] | 0x20) != 'a' ||
        (path[length - 1] | 0x20) != 't') {
        why = std::string(path) + " is no pattern file (*.pat)";
        return false;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        why = std::string("cannot open ") + path;
        return false;
    }
    mirrorEngine();
    auto doc = std::make_unique<Document>(synth_->score.doc);
    PatternReadStatus status;
    const bool read = readPatternStream(f, *doc, &status) == 1;
    std::fclose(f);
    if (!read) {
        why = std::string(path) +
              (status == PatternReadStatus::kShortHeader ? ": the pattern ends inside its 30-byte header" : ": cannot read it");
        return false;
    }
    installDocument(*synth_, *doc);
    return true;
}

}  // namespace velmor
