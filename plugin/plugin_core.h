#pragma once
// Velmor as an instrument plugin, apart from any plugin framework: the whole
// program's model and engine played by a host's blocks. The host's notes
// reach the engine's note input at their frames, parameter changes the
// model's setters at theirs (the block is split there), and with "Follow
// Host" the sequencer steps where the host's song position crosses each
// sixteenth note. The engine runs at 44100 Hz; at any other host rate a
// resampler converts its output, with a fixed latency. The same events at
// the same frames give the same output whatever the block sizes.
//
// process() belongs to the audio thread; state(), loadState() and
// parameterValue() may be called from any other one.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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

// A host's note as the MIDI message the core takes, its velocity (0 to 1)
// to the nearest of 127 steps; a note-on never at 0, which would read as a
// note-off. False for a key or channel out of range.
bool noteEvent(uint32_t frame, bool on, int channel, int key, double velocity, HostEvent& out);

// Where the host's transport stands at the block's first frame.
struct HostTime {
    bool playing = false;
    bool valid = false;         // the position below is known
    double sixteenths = 0;      // the song position in sixteenth notes from its start
    double beatsPerMinute = 120;
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

    // A block of any length; `events` in frame order.
    void process(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount,
                 const HostTime& time);

    float parameterValue(uint32_t index) const;

    // The state: the pattern file that "Save Pattern..." writes, behind a
    // version tag, in text. A state or pattern file that cannot be read
    // changes nothing and says why.
    std::string state() const;
    bool loadState(const std::string& text, std::string& why);
    bool loadPatternFile(const char* path, std::string& why);

    const Synth& synth() const { return *synth_; }
    // The step the sequencer plays, 1 to 16 (the audio thread's).
    int32_t step() const { return (synth_->engine.currentStep & 15) + 1; }

private:
    // Up to 4096 frames of a block, from its frame `base` on.
    void processPiece(float* left, float* right, uint32_t frames, const HostEvent* events, uint32_t eventCount,
                      uint32_t base, const HostTime& time);
    void takeLoadedDocument();
    void setParameterNow(uint32_t index, float value);
    void setUnitCount(int32_t count);
    void followHost(const HostTime& time, uint32_t frames);
    void addEvent(int32_t frame, const EngineCommand& c);
    // The engine frame, within this block, of a host frame.
    int32_t engineOffset(int64_t hostFrame) const;
    void renderSpan(uint32_t& done, uint32_t until, uint32_t& next);
    void keepSnapshot();
    void storeValues(const Synth& s);
    Document currentDocument() const;
    bool install(std::unique_ptr<Document> loaded);

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

    // Engine events of the block being built, those of one stretch, and
    // the block's 16-bit frames.
    std::unique_ptr<EngineEvent[]> engineEvents_;
    std::unique_ptr<EngineEvent[]> spanEvents_;
    uint32_t engineEventCount_ = 0;
    uint32_t carried_ = 0;
    std::unique_ptr<int16_t[]> frames16_;
    std::unique_ptr<float[]> floats_;

    // The parameters' values for other threads, updated after each change.
    std::unique_ptr<std::atomic<float>[]> values_;
    // A loaded document waiting for the next block, and those installed, to
    // be freed by the next load.
    std::atomic<Document*> pending_{nullptr};
    std::atomic<Document*> spent_[2] = {};
    // The document as of the last block, for state(); the audio thread only
    // ever tries the lock.
    mutable std::mutex snapshotLock_;
    std::unique_ptr<Document> snapshot_;
    bool changed_ = true;
};

}  // namespace velmor
