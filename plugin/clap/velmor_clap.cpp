// Velmor as a CLAP plugin: a thin layer that hands the host's blocks,
// notes, parameter changes (each at its frame), transport and state to the
// plugin core, and the sequencer's notes back to the host as MIDI.

#include <algorithm>
#include <cstring>

#include "clap/entry.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/note-ports.h"
#include "clap/plugin-factory.h"
#include "clap/plugin-features.h"
#include "plugin/clap/clap_events.h"
#include "plugin/clap/clap_instance.h"
#include "plugin/clap/clap_parameters.h"
#include "plugin/clap/clap_state.h"
#include "plugin/plugin_parameters.h"
#include "velmor_version.h"

#ifdef VELMOR_EDITOR
#include "plugin/clap/clap_gui.h"
#include "plugin/editor/editor_window.h"
#else
namespace velmor {
class EditorWindow {};  // a build without the editor never makes one
}  // namespace velmor
#endif

namespace velmor {

ClapInstance::ClapInstance()
    : toldByEditor(new std::atomic<bool>[kPluginParameterCount]),
      editorGestures(new std::atomic<uint8_t>[kPluginParameterCount]) {
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) toldByEditor[i] = false, editorGestures[i] = 0;
}

ClapInstance::~ClapInstance() = default;

namespace {

constexpr uint32_t kMaxEvents = 4096;
// The ids the ports have always had; the note output's is its own.
constexpr clap_id kOutputPortId = 0x7ffffffd;
constexpr clap_id kNotePortId = 0;
constexpr clap_id kNoteOutputPortId = 1;

const char* kFeatures[] = {CLAP_PLUGIN_FEATURE_INSTRUMENT, CLAP_PLUGIN_FEATURE_SYNTHESIZER, CLAP_PLUGIN_FEATURE_STEREO, nullptr};
const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    "velmor.velmor",
    "Velmor",
    "The Velmor developers",
    "",
    "",
    "",
    VELMOR_VERSION_TEXT,
    "An analog-style bass-line machine: up to four units with a pattern sequencer, songs, swing and accents.",
    kFeatures};

uint32_t CLAP_ABI audioPortCount(const clap_plugin_t*, bool isInput) { return isInput ? 0 : 1; }

bool CLAP_ABI audioPort(const clap_plugin_t*, uint32_t index, bool isInput, clap_audio_port_info_t* info) {
    if (isInput || index != 0) return false;
    *info = clap_audio_port_info_t{};
    info->id = kOutputPortId;
    std::strcpy(info->name, "Audio Output");
    info->flags = CLAP_AUDIO_PORT_IS_MAIN;
    info->channel_count = 2;
    info->port_type = CLAP_PORT_STEREO;
    info->in_place_pair = CLAP_INVALID_ID;
    return true;
}

// The host's notes in, the sequencer's out (as MIDI).
uint32_t CLAP_ABI notePortCount(const clap_plugin_t*, bool) { return 1; }

bool CLAP_ABI notePort(const clap_plugin_t*, uint32_t index, bool isInput, clap_note_port_info_t* info) {
    if (index != 0) return false;
    *info = clap_note_port_info_t{};
    info->id = isInput ? kNotePortId : kNoteOutputPortId;
    info->supported_dialects = isInput ? CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI : CLAP_NOTE_DIALECT_MIDI;
    info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
    std::strcpy(info->name, isInput ? "Event/MIDI Input" : "Event/MIDI Output");
    return true;
}

uint32_t CLAP_ABI latency(const clap_plugin_t* plugin) { return instanceOf(plugin).core->latency(); }

const clap_plugin_audio_ports_t kAudioPorts = {audioPortCount, audioPort};
const clap_plugin_note_ports_t kNotePorts = {notePortCount, notePort};
const clap_plugin_latency_t kLatency = {latency};

bool CLAP_ABI init(const clap_plugin_t* plugin) {
    ClapInstance& v = instanceOf(plugin);
    v.hostLatency = static_cast<const clap_host_latency_t*>(v.host->get_extension(v.host, CLAP_EXT_LATENCY));
    v.hostParams = static_cast<const clap_host_params_t*>(v.host->get_extension(v.host, CLAP_EXT_PARAMS));
    v.hostGui = static_cast<const clap_host_gui_t*>(v.host->get_extension(v.host, CLAP_EXT_GUI));
    v.hostTimer = static_cast<const clap_host_timer_support_t*>(v.host->get_extension(v.host, CLAP_EXT_TIMER_SUPPORT));
    return true;
}

void CLAP_ABI destroy(const clap_plugin_t* plugin) { delete &instanceOf(plugin); }

bool CLAP_ABI activate(const clap_plugin_t* plugin, double rate, uint32_t, uint32_t) {
    ClapInstance& v = instanceOf(plugin);
    if (rate != v.rate) v.core->setHostRate(rate), v.rate = rate;
    // The latency may change while the plugin is being activated, and only
    // then.
    if (v.core->latency() != v.latencyTold && v.hostLatency) v.hostLatency->changed(v.host);
    v.latencyTold = v.core->latency();
    return true;
}

void CLAP_ABI deactivate(const clap_plugin_t*) {}
bool CLAP_ABI startProcessing(const clap_plugin_t*) { return true; }
void CLAP_ABI stopProcessing(const clap_plugin_t*) {}
void CLAP_ABI reset(const clap_plugin_t*) {}
void CLAP_ABI onMainThread(const clap_plugin_t*) {}

// The sequencer's notes, to the note output port.
void sendNotes(const ClapInstance& v, const clap_process_t* p) {
    if (!p->out_events) return;
    for (const SentMessage& m : v.core->notesOut()) {
        const clap_event_midi_t e{
            {sizeof e, m.frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI, 0}, 0, {m.bytes[0], m.bytes[1], m.bytes[2]}};
        p->out_events->try_push(p->out_events, &e.header);
    }
}

// Tells the host the step the sequencer plays when it moved.
void sendStep(ClapInstance& v, const clap_process_t* p) {
    const float step = static_cast<float>(v.core->step());
    v.step.store(step, std::memory_order_relaxed);
    if (step == v.stepSent || !p->out_events) return;
    const clap_event_param_value_t e{
        {sizeof e, p->frames_count > 0 ? p->frames_count - 1 : 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0},
        kStepParameterId,
        nullptr,
        -1,
        -1,
        -1,
        -1,
        step};
    if (p->out_events->try_push(p->out_events, &e.header)) v.stepSent = step;
}

clap_process_status CLAP_ABI process(const clap_plugin_t* plugin, const clap_process_t* p) {
    ClapInstance& v = instanceOf(plugin);
    if (p->audio_outputs_count < 1 || p->audio_outputs[0].channel_count < 2 || !p->audio_outputs[0].data32)
        return CLAP_PROCESS_ERROR;
    float* left = p->audio_outputs[0].data32[0];
    float* right = p->audio_outputs[0].data32[1];
    // Values set outside process() first, then the host's events in order.
    HostEvent* events = v.events.get();
    const uint32_t count = appendHostEvents(p->in_events, events, v.asked.take(events, kMaxEvents), kMaxEvents);
    v.core->process(left, right, p->frames_count, events, count, hostTime(p->transport));
    // In time order: what the editor changed at the first frame, the
    // step at the last.
#ifdef VELMOR_EDITOR
    tellEditorChanges(v, p->out_events, 0);
#endif
    sendNotes(v, p);
    sendStep(v, p);
    return CLAP_PROCESS_CONTINUE;
}

const void* CLAP_ABI extension(const clap_plugin_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kClapParams;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &kClapState;
    if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &kAudioPorts;
    if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0) return &kNotePorts;
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kLatency;
#ifdef VELMOR_EDITOR
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kClapGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kClapTimer;
#endif
    return nullptr;
}

uint32_t CLAP_ABI pluginCount(const clap_plugin_factory_t*) { return 1; }

const clap_plugin_descriptor_t* CLAP_ABI descriptor(const clap_plugin_factory_t*, uint32_t index) {
    return index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* CLAP_ABI create(const clap_plugin_factory_t*, const clap_host_t* host, const char* id) {
    if (!host || !id || std::strcmp(id, kDescriptor.id) != 0 || !clap_version_is_compatible(host->clap_version)) return nullptr;
    auto* v = new ClapInstance;
    v->plugin = {&kDescriptor,   v,     init,    destroy,   activate,    deactivate, startProcessing,
                 stopProcessing, reset, process, extension, onMainThread};
    v->host = host;
    v->core = std::make_unique<PluginCore>(v->rate);
    v->events.reset(new HostEvent[kMaxEvents]);
    return &v->plugin;
}

const clap_plugin_factory_t kFactory = {pluginCount, descriptor, create};

bool CLAP_ABI entryInit(const char*) { return true; }
void CLAP_ABI entryDeinit() {}
const void* CLAP_ABI factory(const char* id) { return std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr; }

}  // namespace

}  // namespace velmor

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {CLAP_VERSION_INIT, velmor::entryInit, velmor::entryDeinit,
                                                               velmor::factory};
