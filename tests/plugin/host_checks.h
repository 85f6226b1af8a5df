#pragma once
// What the test hosts check in a plugin binary, whatever its format: notes
// at their frames sound as the plugin core plays them, any block size gives
// the same output, a parameter set at a frame within a block takes effect
// there and reads back, the state carries everything into a fresh
// instance, a damaged state changes nothing, and the sequencer's notes go
// out as "Export MIDI..." writes them; apart from these, the real-time run
// (realtime_checks.cpp). Each format's host only loads the
// binary and talks to an instance (clap_host.cpp, vst3_host.cpp,
// lv2_host.cpp).

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velmor::hosttest {

// A MIDI message at a frame of its block.
struct MidiAt {
    uint32_t frame;
    uint8_t bytes[3];
};

// A parameter as the plugin describes it to the host: its id in the format
// (the CLAP or VST3 id, the LV2 port), and its symbol and short name where
// the format has them.
struct ParameterInfo {
    uint32_t id;
    std::string name;
    double minimum, maximum, defaultValue;
    std::optional<std::string> symbol, shortName;
};

// A parameter (its index in the plugin's order) set to a plain value at a
// frame of its block.
struct ParameterChange {
    uint32_t index;
    double value;
    uint32_t frame = 0;
};

// Where the host's transport stands at a block's first frame, in quarter
// notes, with the loop it plays (none where loopEnd <= loopStart).
struct Transport {
    bool playing = false;
    double beatsPerMinute = 120, quarters = 0;
    int64_t frame = 0;
    double loopStart = 0, loopEnd = 0;
};

class Instance {
public:
    Instance() { sent_.reserve(kMostSent); }
    virtual ~Instance() = default;
    virtual bool activate(double rate, uint32_t maxFrames) = 0;
    // Stops processing; activate() starts it again, at any rate.
    virtual void deactivate() = 0;
    virtual uint32_t latency() = 0;
    // The parameters the host shows, in the plugin's order.
    virtual std::vector<ParameterInfo> parameters() = 0;
    // One block, the parameter changes in frame order.
    virtual bool process(float* left, float* right, uint32_t frames, const std::vector<MidiAt>& midi,
                         const std::vector<ParameterChange>& changes) = 0;
    virtual bool parameterValue(uint32_t index, double& value) = 0;
    virtual bool saveState(std::string& bytes) = 0;
    virtual bool loadState(const std::string& bytes) = 0;
    // A pattern state (PluginCore::state()) as the format's state holds it.
    virtual bool loadPattern(const std::string& pattern);
    // Whether loadState() may be called while another thread plays blocks.
    virtual bool loadsWhilePlaying() const { return true; }
    // The editor as a child of the host's window `parent` (0: not yet, its
    // size is asked) at `scale`, its size in pixels; false where the format
    // has none. The host's timer feeds it; what it tells the host of a
    // parameter, as a plain value, is kept.
    virtual bool openEditor(uintptr_t, double, uint32_t&, uint32_t&) { return false; }
    virtual void idleEditor() {}
    virtual void closeEditor() {}
    virtual bool toldByEditor(uint32_t, double&) { return false; }
    // What the host heard of the editor's changes of a parameter so far:
    // the gestures begun and ended, and the values.
    struct Heard {
        int begun = 0, ended = 0, values = 0;
    };
    virtual Heard heardFromEditor(uint32_t) { return {}; }
    // The transport of the blocks from now on; before, a host that stands
    // still and tells no position.
    void setTransport(const Transport& t) { transport_ = t; }
    // The MIDI messages the plugin sent in the last block, at their frames.
    const std::vector<MidiAt>& sent() const { return sent_; }

protected:
    // One the plugin sends, kept while there is room: the plugin may send
    // from within its block, where the host allocates nothing.
    void keep(const MidiAt& m) {
        if (sent_.size() < kMostSent) sent_.push_back(m);
    }

    static constexpr size_t kMostSent = 4096;
    std::optional<Transport> transport_;
    std::vector<MidiAt> sent_;
};

struct Format {
    std::function<std::unique_ptr<Instance>()> create;  // null when the plugin refuses
    // The format's id of the first parameter hosts' projects name
    // (frozen_parameters.h); the others follow on.
    uint32_t firstParameterId;
};

// Prints one line for a failed check and counts it.
void fail(const std::string& what);

// Every check; `patternFile` (may be empty) is a pattern file that the
// state checks load first.
void runChecks(const Format& format, const std::string& patternFile);
// The parameters the plugin shows are those hosts' projects name, each at
// its id with its names, range and default.
void checkParameterList(const Format& format);
// The note check alone (keys at their frames sound as the plugin core plays
// them, in blocks of each size), for a second way of sending notes.
void checkNotes(const Format& format, const std::string& label, const std::vector<uint32_t>& blocks);
// "Sequencer" following the host through a song: the notes the plugin
// sends are those "Export MIDI..." writes of it, and the transport stopped
// ends every note sounding.
void checkSequencerNotes(const Format& format);
// One instance through all a host may do in its blocks, the calls of each
// part counted (realtime_counter.h): each count must be 0.
void runRealtimeChecks(const Format& format);

// A loaded shared library.
class Library {
public:
    explicit Library(const std::string& path);
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    void* handle() const { return handle_; }
    void* symbol(const char* name) const;

private:
    void* handle_ = nullptr;
};

// A host's main(): `run` gets the plugin binary named on the command line,
// loaded, the pattern file, and whether the real-time run alone was asked
// for (--realtime; a build that cannot count skips it, exit status 77);
// exit status 0 when every check passed.
// What the command line asked of the editor instead of the checks:
// --editor SCALE PICTURES (the editor checks, the pictures named so),
// --reopen N, or --editor-cpu SECONDS (its processor time, printed).
struct EditorAsked {
    // A scale below 0: the host tells none, and the system's (its size) is
    // expected.
    double scale = 0;
    std::string pictures;
    int reopen = 0;
    double cpuSeconds = 0;
    bool any() const { return scale != 0 || reopen > 0 || cpuSeconds > 0; }
};
const EditorAsked& editorAsked();

int hostMain(int argc, char** argv, const char* usage,
             void (*run)(const Library& library, const std::string& path, const std::string& patternFile, bool realtime));

}  // namespace velmor::hosttest
