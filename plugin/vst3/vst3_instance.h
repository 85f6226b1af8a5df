#pragma once
// One instance of the VST3 plugin: one object that is the component, its
// audio processor and its edit controller at once, each interface a face
// that points at its functions and at the instance; the plugin core, and
// what the layer between host and core keeps beside it.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"

namespace velmor {

struct Vst3Instance;

// What a host holds: a pointer to a face, whose first member points at
// the interface's functions.
template <class Functions>
struct Vst3Face {
    const Functions* functions;
    Vst3Instance* instance;
};

// The parameter ids the plugin has always had, which hosts keep in their
// projects: the latency (hidden), then one id per MIDI controller of each
// channel (hidden; 128 and 129 are channel pressure and pitch bend), then
// the read-only "Step", then the core's parameters.
constexpr v3_param_id kLatencyId = 0;
constexpr v3_param_id kFirstControllerId = 1;
constexpr uint32_t kControllersPerChannel = 130;
constexpr v3_param_id kStepId = kFirstControllerId + 16 * kControllersPerChannel;  // 2081
constexpr v3_param_id kFirstCoreId = kStepId + 1;

struct Vst3Instance {
    Vst3Face<v3_component_cpp> component;
    Vst3Face<v3_audio_processor_cpp> processor;
    Vst3Face<v3_edit_controller_cpp> controller;
    Vst3Face<v3_midi_mapping_cpp> midiMapping;
    Vst3Face<v3_process_context_requirements_cpp> requirements;
    std::atomic<uint32_t> references{1};

    std::unique_ptr<PluginCore> core;
    double rate = PluginCore::kEngineRate;

    // Values set outside a block (a loaded state, changes the host sends
    // while it does not process), taken in at the next block's first frame;
    // they read back at once.
    AskedParameters asked;
    // The audio thread's events of one block.
    std::unique_ptr<HostEvent[]> events;
    // Both channels of the longest block the host announced, for channels
    // it does not take.
    std::unique_ptr<float[]> aside;
    uint32_t asideFrames = 0;
    // The step the sequencer plays (1 to 16), and the one last sent.
    std::atomic<float> step{1};
    float stepSent = 0;

    v3_component_handler** handler = nullptr;  // the host's, for restarts
    // The parameters a drag in the editor holds: one edit for the host
    // (the main thread's).
    std::array<bool, kPluginParameterCount> editorDrags{};
    std::string file;  // the "file" of the last state loaded
};

// The instance behind any of its faces.
inline Vst3Instance& instanceOf(void* face) { return *static_cast<Vst3Face<v3_funknown>*>(face)->instance; }

// Each face answers for every interface of the instance.
v3_result V3_API queryInterface(void* face, const v3_tuid iid, void** found);
uint32_t V3_API addReference(void* face);
uint32_t V3_API release(void* face);

// UTF-8 into a host's text of `size` UTF-16 units, cut short where it must
// be.
void copyText(int16_t* to, size_t size, const std::string& text);
template <size_t N>
void copyText(int16_t (&to)[N], const std::string& text) {
    copyText(to, N, text);
}

extern const v3_edit_controller_cpp kControllerFunctions;
extern const v3_midi_mapping_cpp kMidiMappingFunctions;

}  // namespace velmor
