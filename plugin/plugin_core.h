#pragma once
// Velmor as an instrument plugin, apart from any plugin framework: the whole
// program's model and engine played by a host's blocks. The host's notes
// reach the engine's note input at their frames, parameter changes the
// engine's own score at theirs (the block is split there), and with "Follow
// Host" the sequencer steps where the host's song position crosses each
// sixteenth note. The engine runs at 44100 Hz; at any other host rate a
// resampler converts its output, with a fixed latency. The same events at
// the same frames give the same output whatever the block sizes. The notes
// the sequencer plays go out as MIDI, each at the host frame where its
// sound is heard.
//
// Two threads share an instance. The audio thread calls process(): it owns
// the engine, and it neither allocates, nor waits, nor touches a file. The
// host's main thread calls the rest: it owns the model, the document that
// states hold, and hands what it changes (a loaded state) to the audio
// thread whole, which takes it at its next block with a pointer swap.
// parameterValue() and step() may be called from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "model/synth.h"

namespace velmor {

class Resampler;

// A host event at a frame of its block: a MIDI message, or a parameter set
// to a value.
struct HostEvent {
    uint32_t frame = 0;
    bool isParameter = false;
    uint8_t size = 0;
    uint8_t midi[3] = {};
    uint32_t parameter = 0;
    float value = 0;
};

// A MIDI message the core sends at a frame of its block.
struct SentMessage {
    uint32_t frame = 0;
    uint8_t bytes[3] = {};
};

// A host's note as the MIDI message the core takes, its velocity (0 to 1)
// to the nearest of 127 steps; a note-on never at 0, which would read as a
// note-off. False for a key or channel out of range.
bool noteEvent(uint32_t frame, bool on, int channel, int key, double velocity, HostEvent& out);

// Where the host's transport stands at the block's first frame.
struct HostTime {
    bool playing = false;
    bool valid = false;     // the position below is known
    double sixteenths = 0;  // the song position in sixteenth notes from its start
    double beatsPerMinute = 120;
    bool tempoKnown = true;  // false: the host gives no tempo, and it is measured from the positions
    // The song position in host frames, where the host gives it: exact,
    // where the musical position may be rounded.
    bool frameValid = false;
    int64_t frame = 0;
};

class PluginCore {
public:
    static constexpr double kEngineRate = 44100.0;

    explicit PluginCore(double hostRate);
    ~PluginCore();
    PluginCore(const PluginCore&) = delete;
    PluginCore& operator=(const PluginCore&) = delete;

    // Not while process() runs.
    void setHostRate(double hostRate);
    // The frames the output lags behind its events: 0 at 44100 Hz.
    uint32_t latency() const { return latency_; }

    // A block of any length; `events` in frame order. The audio thread.
    void process(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount, const HostTime& time);

    // The sequencer's notes of the last process() call, in frame order:
    // unit u's on channel u, by the rules of "Export MIDI..."
    // (engine/note_output.h). A note goes out with its sound: an engine
    // frame E is heard at host frame ceil(E * hostRate / 44100) (the first
    // whose engine frame, as the host's events map to it, is E or later)
    // plus the latency, which hosts that compensate it take off the audio
    // and the MIDI output alike. The audio thread.
    std::span<const SentMessage> notesOut() const { return {sent_.get(), sentCount_}; }

    // The value a parameter holds, as hosts see it.
    float parameterValue(uint32_t index) const;

    // The state: the pattern file that "Save Pattern..." writes, behind a
    // format tag ("Velmor pattern 1"), in text. A state or pattern file that
    // cannot be read changes nothing and says why. The main thread.
    std::string state() const;
    bool loadState(const std::string& text, std::string& why);
    bool loadPatternFile(const char* path, std::string& why);

    // The main thread's model, brought up to what the audio thread's
    // automation changed.
    const Synth& model() const;
    // The same for an editor's edits: each reaches the audio thread as a
    // delivery, and Undo and Redo take it back and bring it again (the
    // model's undo history; a loaded state begins it anew, automation is no
    // step of it).
    Synth& editModel();
    // A pattern file's bytes (a preset) replace the document as one edit
    // that Undo takes back; bytes that cannot be read change nothing and
    // say why. The main thread.
    bool loadPatternBytes(const void* data, size_t size, const char* editName, std::string& why);
    // Grows with every change an editor shows: a delivery, a host's
    // parameter change, a loaded state. Any thread.
    uint32_t changeCount() const { return changes_.load(std::memory_order_relaxed); }
    // The engine, for reading what the audio thread plays.
    const Engine& engine() const { return synth_->engine; }
    // The step the sequencer plays, 1 to 16 (the audio thread's).
    int32_t step() const { return (synth_->engine.currentStep & 15) + 1; }

    // A program that is its own host (the stand-alone program) has a
    // transport of its own: with "Sequencer Off", Play runs the sequencer
    // from the start at the pattern's tempo, as the Windows program's Play
    // does, and Stop ends it, each at the next block's first frame; with
    // "Follow Host" the MIDI clock that comes in (ticks, Start, Continue,
    // Stop) steps it, as the program's Sync does. Set before the first
    // block. The main thread.
    void setOwnTransport(bool own) { ownTransport_ = own; }
    bool ownTransport() const { return ownTransport_; }
    void play(bool on) { playAsked_.store(on ? 1 : 0, std::memory_order_release); }
    // Play or Stop asked and not yet taken. Any thread.
    bool playPending() const { return playAsked_.load(std::memory_order_acquire) >= 0; }
    // The sequencer runs at its own tempo after Play. Any thread.
    bool playing() const { return playing_.load(std::memory_order_relaxed); }

private:
    // A whole score for the audio thread, with the commands for the running
    // state that came with it and the parameters' values it gives.
    struct Delivery;
    static void deliver(void* core, const Score& score, const std::vector<EngineCommand>& transaction);

    // Up to 4096 frames of a block, from its frame `base` on.
    void processPiece(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount, uint32_t base,
                      const HostTime& time);
    void takeDelivery();
    void applyHostParameter(uint32_t index, float value);
    void followHost(const HostTime& time, uint32_t frames);
    // The tempo a host that gives none plays at, measured from the frames
    // where its position crossed each clock tick; 0 until two came.
    double measuredTempo(const HostTime& time);
    void addEvent(int32_t frame, const EngineCommand& c);
    // The engine frame, within this block, of a host frame.
    int32_t engineOffset(int64_t hostFrame) const;
    void renderSpan(uint32_t& done, uint32_t until, uint32_t& next);
    // The host frame, the latency included, that hears an engine frame.
    int64_t hostFrameOf(int64_t engineFrame) const;
    // The notes heard within a piece of `frames` frames, from frame `base`
    // of the block on, go out; later ones wait.
    void sendNotes(uint32_t frames, uint32_t base);
    // The main thread: the model takes what the audio thread changed.
    void mirrorEngine() const;
    void storeValues(float* to) const;
    // A pattern file's bytes read into a copy of the model's document
    // (which stays as it is); null, and why, where they cannot be read.
    std::unique_ptr<Document> readDocument(const void* data, size_t size, std::string& why) const;

    // The model (the main thread's) and the engine (the audio thread's).
    std::unique_ptr<Synth> synth_;
    UnitRecord startUpUnit_;
    std::unique_ptr<Resampler> resampler_;
    double hostRate_ = kEngineRate;
    uint32_t latency_ = 0;

    // Frames so far, the host's and the engine's.
    int64_t hostFrames_ = 0;
    int64_t engineFrames_ = 0;
    uint32_t blockLength_ = 0;  // engine frames of the block being rendered

    // "Follow Host", and the host's transport as the last block left it.
    bool followHostAsked_ = false;
    bool following_ = false;
    bool wasPlaying_ = false;
    // Where the position stood at host frame anchorFrame_, and the host
    // frames a sixteenth then lasted.
    double anchorSixteenths_ = 0;
    int64_t anchorFrame_ = 0;
    double anchorPerSixteenth_ = 1;
    int64_t nextTick_ = 0;  // the clock tick to send next, six a sixteenth
    // Where the host's position crossed the latest clock ticks, and where it
    // stood at the last block, for a host that gives no tempo.
    int64_t crossings_[kTempoTicks] = {};
    int32_t crossingCount_ = 0;
    double lastSixteenths_ = -1;
    int64_t lastFrame_ = 0;

    // Engine events of the block being built, those of one stretch, and
    // the block's 16-bit frames.
    std::unique_ptr<EngineEvent[]> engineEvents_;
    std::unique_ptr<EngineEvent[]> spanEvents_;
    uint32_t engineEventCount_ = 0;
    uint32_t carried_ = 0;
    std::unique_ptr<int16_t[]> frames16_;
    std::unique_ptr<float[]> floats_;

    // The engine's notes at the host frames they are heard at, waiting for
    // the block that holds them, and those the last call sent.
    struct DueNote {
        int64_t hostFrame;
        uint8_t bytes[3];
    };
    std::unique_ptr<DueNote[]> due_;
    uint32_t dueCount_ = 0;
    std::unique_ptr<SentMessage[]> sent_;
    uint32_t sentCount_ = 0;

    // The parameters' values for every thread, and which of them the audio
    // thread changed since the model last took them.
    std::unique_ptr<std::atomic<float>[]> values_;
    std::unique_ptr<std::atomic<bool>[]> changedByAudio_;
    // A delivery waiting for the next block, and those taken, to be freed
    // by the main thread.
    std::atomic<Delivery*> pending_{nullptr};
    std::atomic<Delivery*> spent_[2] = {};
    std::atomic<uint32_t> changes_{0};
    // The own transport: Play (1) or Stop (0) asked, -1 when taken.
    bool ownTransport_ = false;
    std::atomic<int> playAsked_{-1};
    std::atomic<bool> playing_{false};
};

}  // namespace velmor
