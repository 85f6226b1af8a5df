#include "plugin/plugin_core.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/render.h"
#include "files/pattern_file.h"
#include "model/parameters.h"
#include "model/units.h"
#include "plugin/base64.h"
#include "plugin/plugin_parameters.h"
#include "plugin/resampler.h"

namespace velmor {

namespace {

constexpr char kStateTag[] = "Velmor pattern 1\n";
constexpr uint32_t kMaxEngineEvents = 16384;
constexpr uint32_t kMaxEngineBlock = 65536;
// A song position this far (a quarter of a clock tick) from where the
// tempo brought it is a jump.
constexpr double kJumpSixteenths = 1.0 / 24;
// The most a host's musical position is rounded by: 4/1920 of a beat.
constexpr double kRoundingSixteenths = 1.0 / 120;

// The bytes "Save Pattern..." writes for a document.
std::string patternBytes(const Document& d) {
    std::string bytes;
    std::FILE* f = std::tmpfile();
    if (!f) return bytes;
    if (writePatternStream(d, f) == 1 && std::fflush(f) == 0) {
        std::rewind(f);
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, got);
    }
    std::fclose(f);
    return bytes;
}

// A pattern file's bytes read into a copy of `current`.
std::unique_ptr<Document> parsePattern(const std::string& bytes, const Document& current, std::string& why) {
    std::FILE* f = std::tmpfile();
    if (!f) {
        why = "no temporary file to read the pattern from";
        return nullptr;
    }
    auto doc = std::make_unique<Document>(current);
    PatternReadStatus status = PatternReadStatus::kReadError;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0 &&
                    (std::rewind(f), readPatternStream(f, *doc, &status) == 1);
    std::fclose(f);
    if (ok) return doc;
    why = status == PatternReadStatus::kShortHeader ? "the pattern ends inside its 30-byte header"
                                                    : "the pattern could not be read";
    return nullptr;
}

}  // namespace

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
      values_(new std::atomic<float>[kPluginParameterCount]) {
    startUpState(*synth_);
    // The model lives on the audio thread here: nothing it sends may need
    // memory there, and there is no undo.
    synth_->feed.pending.reserve(kMaxEngineEvents);
    synth_->undo.recording = false;
    startUpUnit_ = synth_->score.doc.units[0];
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) values_[i] = static_cast<float>(pluginParameter(i).defaultValue);
    // "Sequencer" Off: the units sound only from notes.
    applyCommand(synth_->engine, EngineCommand::of(EngineCommand::kSequencer, 0));
    snapshot_ = std::make_unique<Document>(synth_->score.doc);
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
}

float PluginCore::parameterValue(uint32_t index) const {
    return index < kPluginParameterCount ? values_[index].load(std::memory_order_relaxed) : 0.0f;
}

void PluginCore::setParameterNow(uint32_t index, float value) {
    if (index >= kPluginParameterCount) return;
    // The value it holds changes nothing: hosts send unchanged values again
    // (setting a waveform restarts the oscillators), and a host's saved
    // state sets every parameter after the pattern, whose values may lie
    // outside the ranges.
    if (std::lround(value) == std::lround(values_[index].load(std::memory_order_relaxed))) return;
    const PluginParameter p = pluginParameter(index);
    const int32_t v = static_cast<int32_t>(std::lround(value < p.minimum ? p.minimum : (value > p.maximum ? p.maximum : value)));
    values_[index].store(static_cast<float>(v), std::memory_order_relaxed);
    if (index == kSequencerParameter) {
        followHostAsked_ = v != 0;
        return;
    }
    if (index == kUnitsParameter) {
        setUnitCount(v);
        return;
    }
    setParameter(*synth_, p.unitIndex < 0 ? 0 : p.unitIndex, p.param, v);
    changed_ = true;
}

void PluginCore::setUnitCount(int32_t count) {
    Synth& s = *synth_;
    Edit edit(s);
    Document& d = s.score.doc;
    // A unit brought into use sounds as unit 1 does after start-up.
    while (d.unitCount < count) {
        d.units[d.unitCount] = startUpUnit_;
        addUnit(s);
    }
    if (d.unitCount > count) d.unitCount = count;
    recomputeStepTiming(s);
    changed_ = true;
}

int32_t PluginCore::engineOffset(int64_t hostFrame) const {
    if (!resampler_) return static_cast<int32_t>(hostFrame - hostFrames_);
    const int64_t e = static_cast<int64_t>(std::floor(static_cast<double>(hostFrame) * kEngineRate / hostRate_));
    return static_cast<int32_t>(e - engineFrames_);
}

void PluginCore::followHost(const HostTime& time, uint32_t frames) {
    Engine& e = synth_->engine;
    if (followHostAsked_ != following_) {
        following_ = followHostAsked_;
        addEvent(0, EngineCommand::of(EngineCommand::kClockSync, following_ ? 1 : 0));
        addEvent(0, EngineCommand::of(EngineCommand::kSequencer, 0));
        wasPlaying_ = false;
    }
    if (!following_) return;
    const bool playing = time.playing && time.valid && time.beatsPerMinute > 0;
    if (!playing) {
        if (wasPlaying_) addEvent(0, EngineCommand::of(EngineCommand::kSequencer, 0));
        wasPlaying_ = false;
        return;
    }
    // Host frames a sixteenth note lasts, at the host's tempo (the steps'
    // length follows the ticks, clamped to 60..180 BPM by the engine).
    const double perSixteenth = hostRate_ * 60.0 / time.beatsPerMinute / 4.0;
    double at = time.sixteenths;
    // Started, or the song position jumped (a locate or a loop): the clock
    // stands at the next sixteenth, whose tick begins its step. Hosts give
    // the position rounded (to their own ticks, some to 1/1920 of a beat):
    // a difference of less than a quarter of a clock tick from where the
    // tempo brought the position is that rounding, and the position runs on
    // undisturbed. It is counted from the last jump or change of tempo, not
    // added up block by block, lest rounding errors gather.
    const double expected = anchorSixteenths_ + (hostFrames_ - anchorFrame_) / anchorPerSixteenth_;
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
    if (perSixteenth != anchorPerSixteenth_) {
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
    // rate down to 2756 Hz), each with its events and the host's position
    // where it starts.
    constexpr uint32_t kMostFrames = 4096;
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
        at.sixteenths += piece / hostRate_ * at.beatsPerMinute / 15;
        at.frame += piece;
    } while (done < frames);
}

void PluginCore::processPiece(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount,
                              uint32_t base, const HostTime& time) {
    // The host frame of an event, counted from the piece's first frame.
    const auto hostFrame = [&](const HostEvent& h) { return hostFrames_ + (h.frame > base ? h.frame - base : 0); };
    takeLoadedDocument();
    // The engine frames this block covers.
    const int64_t end = resampler_ ? static_cast<int64_t>(std::floor(static_cast<double>(hostFrames_ + frames) * kEngineRate / hostRate_))
                                   : engineFrames_ + frames;
    blockLength_ = static_cast<uint32_t>(end - engineFrames_);
    // Events that fell on the last block's end (or into a block without an
    // engine frame, the host's rate being higher) come first.
    engineEventCount_ = carried_;
    for (uint32_t i = 0; i < carried_; ++i) engineEvents_[i].frame = 0;
    carried_ = 0;
    // "Sequencer" takes effect for the whole block.
    for (uint32_t i = 0; i < eventCount; ++i)
        if (events[i].isParameter && events[i].parameter == kSequencerParameter) setParameterNow(events[i].parameter, events[i].value);
    followHost(time, frames);
    // Notes and controllers go in as events at their frames; the host's own
    // clock and transport messages are not the sequencer's.
    for (uint32_t i = 0; i < eventCount; ++i) {
        const HostEvent& h = events[i];
        if (!h.isParameter && h.size > 0 && h.midi[0] >= 0x80 && h.midi[0] < 0xF0)
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
        setParameterNow(events[i].parameter, events[i].value);
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
    hostFrames_ += frames;
    engineFrames_ = end;
    keepSnapshot();
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
    done = until;
}

void PluginCore::addEvent(int32_t frame, const EngineCommand& c) {
    if (engineEventCount_ == kMaxEngineEvents) return;
    engineEvents_[engineEventCount_++] = {frame < 0 ? 0 : (frame > static_cast<int32_t>(blockLength_) ? static_cast<int32_t>(blockLength_) : frame), c};
}

void PluginCore::keepSnapshot() {
    if (!changed_) return;
    std::unique_lock<std::mutex> lock(snapshotLock_, std::try_to_lock);
    if (!lock.owns_lock()) return;  // another thread reads it: next block
    std::memcpy(static_cast<void*>(snapshot_.get()), &synth_->score.doc, sizeof(Document));
    changed_ = false;
}

void PluginCore::storeValues(const Synth& s) {
    values_[kUnitsParameter].store(static_cast<float>(s.score.doc.unitCount), std::memory_order_relaxed);
    for (uint32_t i = 0; i < kSequencerParameter; ++i) {
        const PluginParameter p = pluginParameter(i);
        values_[i].store(static_cast<float>(getParameter(s, p.unitIndex < 0 ? 0 : p.unitIndex, p.param)), std::memory_order_relaxed);
    }
}

void PluginCore::takeLoadedDocument() {
    Document* loaded = pending_.exchange(nullptr);
    if (!loaded) return;
    installDocument(*synth_, *loaded);
    storeValues(*synth_);
    changed_ = true;
    // Freed off this thread, by the next load. Each load frees every slot,
    // and one document at most is in flight meanwhile: a slot is free.
    for (auto& slot : spent_) {
        Document* none = nullptr;
        if (slot.compare_exchange_strong(none, loaded)) break;
    }
}

std::string PluginCore::state() const {
    std::lock_guard<std::mutex> lock(snapshotLock_);
    std::string text(kStateTag);
    text.append(base64Encode(patternBytes(*snapshot_)));
    return text;
}

Document PluginCore::currentDocument() const {
    std::lock_guard<std::mutex> lock(snapshotLock_);
    return *snapshot_;
}

bool PluginCore::install(std::unique_ptr<Document> loaded) {
    {
        std::lock_guard<std::mutex> lock(snapshotLock_);
        std::memcpy(static_cast<void*>(snapshot_.get()), loaded.get(), sizeof(Document));
    }
    {
        // Its values read back at once, before the next block installs it:
        // hosts read them right after loading a state, and send them back.
        // A model of its own gives them, off the audio thread.
        const std::unique_ptr<Synth> probe = makeSynth();
        probe->undo.recording = false;
        installDocument(*probe, *loaded);
        storeValues(*probe);
    }
    delete pending_.exchange(loaded.release());
    for (auto& slot : spent_) delete slot.exchange(nullptr);
    return true;
}

bool PluginCore::loadState(const std::string& text, std::string& why) {
    const size_t tag = sizeof kStateTag - 1;
    if (text.compare(0, tag, kStateTag) != 0) {
        why = "the state is not a Velmor pattern (no \"Velmor pattern 1\" tag)";
        return false;
    }
    std::string bytes;
    if (!base64Decode(text.substr(tag), bytes)) {
        why = "the state's pattern is damaged (not base64)";
        return false;
    }
    auto doc = parsePattern(bytes, currentDocument(), why);
    return doc && install(std::move(doc));
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
    std::string bytes;
    char chunk[4096];
    size_t got;
    // A pattern file holds at most a few hundred kilobytes.
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && bytes.size() < (16u << 20)) bytes.append(chunk, got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        why = std::string("cannot read ") + path;
        return false;
    }
    auto doc = parsePattern(bytes, currentDocument(), why);
    if (!doc) why = std::string(path) + ": " + why;
    return doc && install(std::move(doc));
}

}  // namespace velmor
