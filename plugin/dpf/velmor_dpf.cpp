// The plugin framework's side, for LV2: a thin layer that hands the host's
// blocks, notes, transport, parameters and state to the plugin core, and
// the sequencer's notes back to the host.

#include <atomic>
#include <cstring>
#include <memory>

#include "DistrhoPlugin.hpp"
#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "velmor_version.h"

START_NAMESPACE_DISTRHO

namespace {

enum StateIndex : uint32_t { kPatternState, kFileState, kStateCount };
// The framework's parameter 0; the core's parameters follow from 1 on.
constexpr uint32_t kStepParameter = 0;

class VelmorPlugin : public Plugin {
public:
    velmor::PluginCore& core() { return *core_; }

    VelmorPlugin()
        : Plugin(kStepParameter + 1 + velmor::kPluginParameterCount, 0, kStateCount),
          core_(new velmor::PluginCore(getSampleRate())),
          events_(new velmor::HostEvent[kMaxEvents]) {
        setLatency(core_->latency());
    }

protected:
    const char* getLabel() const override { return "Velmor"; }
    const char* getDescription() const override {
        return "An analog-style bass-line machine: up to four units with a pattern sequencer, songs, swing and accents.";
    }
    const char* getMaker() const override { return "The Velmor developers"; }
    const char* getLicense() const override { return "MIT"; }
    uint32_t getVersion() const override { return d_version(VELMOR_VERSION_MAJOR, VELMOR_VERSION_MINOR, 0); }
    int64_t getUniqueId() const override { return d_cconst('V', 'l', 'm', 'r'); }

    void initAudioPort(bool input, uint32_t index, AudioPort& port) override {
        port.groupId = kPortGroupStereo;
        Plugin::initAudioPort(input, index, port);
    }

    void initParameter(uint32_t index, Parameter& parameter) override {
        if (index == kStepParameter) {
            // First, an output: the step the sequencer plays (the CLAP and
            // VST3 layers keep the same order).
            parameter.hints = kParameterIsOutput | kParameterIsInteger;
            parameter.name = "Step";
            parameter.symbol = "step";
            parameter.ranges.min = 1;
            parameter.ranges.max = 16;
            parameter.ranges.def = 1;
            return;
        }
        const velmor::PluginParameter& p = velmor::pluginParameter(index - 1);
        parameter.hints = kParameterIsAutomatable | kParameterIsInteger;
        parameter.name = p.name;
        parameter.shortName = p.shortName;
        parameter.symbol = p.symbol;
        parameter.unit = p.unit;
        parameter.ranges.min = static_cast<float>(p.minimum);
        parameter.ranges.max = static_cast<float>(p.maximum);
        parameter.ranges.def = static_cast<float>(p.defaultValue);
        if (p.choices) {
            const int count = p.maximum - p.minimum + 1;
            parameter.enumValues.count = static_cast<uint8_t>(count);
            parameter.enumValues.restrictedMode = true;
            parameter.enumValues.values = new ParameterEnumerationValue[count];
            for (int i = 0; i < count; ++i) {
                parameter.enumValues.values[i].value = static_cast<float>(p.minimum + i);
                parameter.enumValues.values[i].label = p.choices[i];
            }
        }
    }

    void initState(uint32_t index, State& state) override {
        if (index == kPatternState) {
            state.key = "pattern";
            state.label = "Pattern";
            state.hints = kStateIsOnlyForDSP;
            state.defaultValue = core_->state().c_str();
        } else {
            // Hosts show a file chooser for it: a pattern file to load.
            state.key = "file";
            state.label = "Pattern file";
            // Only for the sound: the framework's LV2 side would otherwise send
            // the path to a user interface there is none of, at every block.
            state.hints = kStateIsFilenamePath | kStateIsOnlyForDSP;
        }
    }

    // A value set but not yet played reads back at once: hosts read the
    // values right after loading a state.
    float getParameterValue(uint32_t index) const override {
        if (index == kStepParameter) return static_cast<float>(core_->step());
        return asked_.shown(*core_, index - 1);
    }

    // May come from any thread: the value waits for the next block.
    void setParameterValue(uint32_t index, float value) override {
        if (index != kStepParameter) asked_.ask(index - 1, value);
    }

    String getState(const char* key) const override {
        if (std::strcmp(key, "pattern") == 0) return String(core_->state().c_str());
        return file_;
    }

    void setState(const char* key, const char* value) override {
        std::string why;
        bool ok = true;
        if (std::strcmp(key, "pattern") == 0) {
            ok = core_->loadState(value ? value : "", why);
        } else if (std::strcmp(key, "file") == 0 && value && *value) {
            ok = core_->loadPatternFile(value, why);
            if (ok) file_ = value;
        }
        if (!ok) d_stderr("Velmor: the state was not loaded, %s", why.c_str());
    }

    void sampleRateChanged(double rate) override {
        core_->setHostRate(rate);
        setLatency(core_->latency());
    }

    void run(const float**, float** outputs, uint32_t frames, const MidiEvent* midiEvents, uint32_t midiEventCount) override {
        uint32_t count = asked_.take(events_.get(), kMaxEvents);
        for (uint32_t i = 0; i < midiEventCount && count < kMaxEvents; ++i) {
            const MidiEvent& m = midiEvents[i];
            if (m.size < 1 || m.size > 3) continue;  // SysEx is not for us
            velmor::HostEvent& e = events_[count++];
            e = velmor::HostEvent{};
            e.frame = m.frame;
            e.size = static_cast<uint8_t>(m.size);
            for (uint32_t b = 0; b < m.size; ++b) e.midi[b] = m.data[b];
        }
        core_->process(outputs[0], outputs[1], frames, events_.get(), count, hostTime());
        for (const velmor::SentMessage& m : core_->notesOut()) {
            MidiEvent e{};
            e.frame = m.frame;
            e.size = 3;
            std::memcpy(e.data, m.bytes, 3);
            writeMidiEvent(e);
        }
    }

private:
    static constexpr uint32_t kMaxEvents = 4096;

    velmor::HostTime hostTime() const {
        const TimePosition& t = getTimePosition();
        velmor::HostTime h;
        h.playing = t.playing;
        h.valid = t.bbt.valid && t.bbt.ticksPerBeat > 0 && t.bbt.beatType > 0;
        if (h.valid) {
            // Sixteenths from the song's start: the bars and beats before,
            // and the fraction of this beat.
            const double sixteenthsPerBeat = 16.0 / t.bbt.beatType;
            const double beats =
                (t.bbt.bar - 1) * static_cast<double>(t.bbt.beatsPerBar) + (t.bbt.beat - 1) + t.bbt.tick / t.bbt.ticksPerBeat;
            h.sixteenths = beats * sixteenthsPerBeat;
            h.beatsPerMinute = t.bbt.beatsPerMinute * 4.0 / t.bbt.beatType;
        }
        // The transport's frame, as the host gives it (the core takes a
        // frame only where it agrees with the musical position).
        h.frameValid = true;
        h.frame = static_cast<int64_t>(t.frame);
        return h;
    }

    std::unique_ptr<velmor::PluginCore> core_;
    velmor::AskedParameters asked_;
    std::unique_ptr<velmor::HostEvent[]> events_;
    String file_;

    DISTRHO_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR(VelmorPlugin)
};

}  // namespace

Plugin* createPlugin() { return new VelmorPlugin(); }

END_NAMESPACE_DISTRHO

#ifdef VELMOR_EDITOR
#include "plugin/editor/editor_core.h"

// The editor shares the plugin's instance (the host runs both in one
// process): the framework hands it the plugin.
velmor::PluginCore& velmor::editorCore(void* instance) {
    return static_cast<DISTRHO::VelmorPlugin*>(static_cast<DISTRHO::Plugin*>(instance))->core();
}
#endif
