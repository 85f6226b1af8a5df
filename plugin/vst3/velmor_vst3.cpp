// Velmor as a VST3 plugin: a thin layer that hands the host's blocks, keys,
// parameter changes (each at its frame), transport and state to the plugin
// core, and the sequencer's notes back to the host. Its class, parameter ids and state are those the plugin has always
// had, so that projects saved with it open as they were.

#include <cstdio>
#include <cstring>
#include <string>

#include "plugin/saved_state.h"
#include "plugin/vst3/vst3_events.h"
#include "plugin/vst3/vst3_instance.h"
#include "travesty/bstream.h"
#include "travesty/factory.h"
#include "velmor_version.h"

#ifdef _WIN32
#define VELMOR_VST3_EXPORT extern "C" __declspec(dllexport)
#else
#define VELMOR_VST3_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace velmor {

namespace {

constexpr uint32_t kMaxEvents = 4096;

constexpr uint32_t fourChars(char a, char b, char c, char d) {
    return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(c) << 8 |
           static_cast<uint32_t>(d);
}

// The class ids, as four numbers in the machine's order.
constexpr uint32_t kComponentClass[4] = {fourChars('D', 'P', 'F', ' '), fourChars('c', 'l', 'a', 's'),
                                         fourChars('V', 'l', 'm', 'r'), 0};
constexpr uint32_t kControllerClass[4] = {fourChars('D', 'P', 'F', ' '), fourChars('c', 't', 'r', 'l'),
                                          fourChars('V', 'l', 'm', 'r'), 0};

const char kName[] = "Velmor";
const char kVendor[] = "The Velmor developers";
const char kCategories[] = "Instrument|Synth";
const char kSdk[] = "VST 3.7.4";

std::string versionText() { return std::to_string(VELMOR_VERSION_MAJOR) + "." + std::to_string(VELMOR_VERSION_MINOR) + ".0"; }

// --- the component ---------------------------------------------------------

v3_result V3_API initialize(void*, v3_funknown**) { return V3_OK; }
v3_result V3_API terminate(void*) { return V3_OK; }

v3_result V3_API controllerClass(void*, v3_tuid id) {
    std::memcpy(id, kControllerClass, sizeof(v3_tuid));
    return V3_OK;
}

v3_result V3_API setIoMode(void*, int32_t) { return V3_NOT_IMPLEMENTED; }

// One stereo output, one event input and one event output (the
// sequencer's notes).
int32_t V3_API busCount(void*, int32_t media, int32_t direction) {
    if (media == V3_AUDIO) return direction == V3_OUTPUT ? 1 : 0;
    return media == V3_EVENT ? 1 : 0;
}

v3_result V3_API busInfo(void* face, int32_t media, int32_t direction, int32_t index, v3_bus_info* info) {
    if (!info || index != 0 || busCount(face, media, direction) != 1) return V3_INVALID_ARG;
    *info = v3_bus_info{};
    info->media_type = media;
    info->direction = direction;
    info->channel_count = media == V3_AUDIO ? 2 : 1;
    copyText(info->bus_name, media == V3_AUDIO       ? "Audio Output"
                             : direction == V3_INPUT ? "Event/MIDI Input"
                                                     : "Event/MIDI Output");
    info->bus_type = V3_MAIN;
    info->flags = V3_DEFAULT_ACTIVE;
    return V3_OK;
}

v3_result V3_API routingInfo(void*, v3_routing_info*, v3_routing_info*) { return V3_NOT_IMPLEMENTED; }
v3_result V3_API activateBus(void*, int32_t, int32_t, int32_t, v3_bool) { return V3_OK; }
v3_result V3_API setActive(void*, v3_bool) { return V3_OK; }

// A state that cannot be read changes nothing.
v3_result V3_API setComponentState(void* face, v3_bstream** stream) {
    Vst3Instance& v = instanceOf(face);
    if (!stream) return V3_INVALID_ARG;
    std::string bytes;
    char chunk[4096];
    for (int32_t n = 0; bytes.size() < kMostStateBytes;) {
        n = 0;
        if (v3_cpp_obj(stream)->read(stream, chunk, sizeof chunk, &n) != V3_OK || n <= 0) break;
        bytes.append(chunk, static_cast<size_t>(n));
        if (stateEnds(chunk, static_cast<size_t>(n))) break;
    }
    if (!loadState(bytes, *v.core, v.asked, v.file)) return V3_INVALID_ARG;
    if (v.handler) v3_cpp_obj(v.handler)->restart_component(v.handler, V3_RESTART_PARAM_VALUES_CHANGED);
    return V3_OK;
}

v3_result V3_API componentState(void* face, v3_bstream** stream) {
    const Vst3Instance& v = instanceOf(face);
    if (!stream) return V3_INVALID_ARG;
    std::string bytes = saveState(*v.core, v.asked, v.file);
    for (size_t done = 0; done < bytes.size();) {
        int32_t n = 0;
        if (v3_cpp_obj(stream)->write(stream, bytes.data() + done, static_cast<int32_t>(bytes.size() - done), &n) != V3_OK ||
            n <= 0)
            return V3_INTERNAL_ERR;
        done += static_cast<size_t>(n);
    }
    return V3_OK;
}

const v3_component_cpp kComponentFunctions = {
    {queryInterface, addReference, release},
    {initialize, terminate},
    {controllerClass, setIoMode, busCount, busInfo, routingInfo, activateBus, setActive, setComponentState, componentState}};

// --- the audio processor ---------------------------------------------------

v3_result V3_API setArrangements(void*, v3_speaker_arrangement*, int32_t inputs, v3_speaker_arrangement* outputs, int32_t count) {
    return inputs == 0 && count == 1 && outputs && *outputs == (V3_SPEAKER_L | V3_SPEAKER_R) ? V3_OK : V3_FALSE;
}

v3_result V3_API arrangement(void*, int32_t direction, int32_t index, v3_speaker_arrangement* out) {
    if (direction != V3_OUTPUT || index != 0 || !out) return V3_INVALID_ARG;
    *out = V3_SPEAKER_L | V3_SPEAKER_R;
    return V3_OK;
}

v3_result V3_API canProcess(void*, int32_t size) { return size == V3_SAMPLE_32 ? V3_OK : V3_NOT_IMPLEMENTED; }

uint32_t V3_API latency(void* face) { return instanceOf(face).core->latency(); }

// The rate may change here, and only here.
v3_result V3_API setupProcessing(void* face, v3_process_setup* setup) {
    Vst3Instance& v = instanceOf(face);
    if (!setup || setup->symbolic_sample_size != V3_SAMPLE_32 || !(setup->sample_rate > 0)) return V3_INVALID_ARG;
    const auto most = static_cast<uint32_t>(setup->max_block_size > 0 ? setup->max_block_size : 0);
    if (most > v.asideFrames) v.aside.reset(new float[2 * static_cast<size_t>(most)]), v.asideFrames = most;
    if (setup->sample_rate != v.rate) {
        const uint32_t before = v.core->latency();
        v.core->setHostRate(setup->sample_rate);
        v.rate = setup->sample_rate;
        if (v.core->latency() != before && v.handler)
            v3_cpp_obj(v.handler)->restart_component(v.handler, V3_RESTART_LATENCY_CHANGED);
    }
    return V3_OK;
}

v3_result V3_API setProcessing(void*, v3_bool) { return V3_OK; }

// Tells the host the step the sequencer plays when it moved.
void sendStep(Vst3Instance& v, v3_process_data& d) {
    const float step = static_cast<float>(v.core->step());
    v.step.store(step, std::memory_order_relaxed);
    if (step == v.stepSent || !d.output_params) return;
    v3_param_id id = kStepId;
    int32_t index = 0;
    v3_param_value_queue** queue = v3_cpp_obj(d.output_params)->add_param_data(d.output_params, &id, &index);
    if (queue && v3_cpp_obj(queue)->add_point(queue, d.nframes > 0 ? d.nframes - 1 : 0, (step - 1) / 15.0, &index) == V3_OK)
        v.stepSent = step;
}

v3_result V3_API process(void* face, v3_process_data* d) {
    Vst3Instance& v = instanceOf(face);
    if (!d || d->symbolic_sample_size != V3_SAMPLE_32 || d->nframes < 0) return V3_INVALID_ARG;
    // Without frames, the host only hands over parameter changes.
    if (d->nframes == 0) {
        askParameterChanges(d->input_params, v.asked);
        return V3_OK;
    }
    // A channel the host does not take is rendered aside, so that the
    // sequencer and the voices keep time.
    const auto frames = static_cast<uint32_t>(d->nframes);
    const bool bus = d->num_output_buses > 0 && d->outputs && d->outputs[0].channel_buffers_32;
    const int32_t channels = bus ? d->outputs[0].num_channels : 0;
    if (channels < 2 && frames > v.asideFrames) return V3_INVALID_ARG;
    float* left = channels > 0 ? d->outputs[0].channel_buffers_32[0] : v.aside.get();
    float* right = channels > 1 ? d->outputs[0].channel_buffers_32[1] : v.aside.get() + v.asideFrames;
    // Values set outside the blocks first, then the host's events.
    HostEvent* events = v.events.get();
    const uint32_t count = appendHostEvents(*d, events, v.asked.take(events, kMaxEvents), kMaxEvents);
    v.core->process(left, right, frames, events, count, hostTime(d->ctx));
    if (bus) d->outputs[0].channel_silence_bitset = 0;
    sendNotes(*v.core, d->output_events);
    sendStep(v, *d);
    return V3_OK;
}

uint32_t V3_API tail(void*) { return 0; }

const v3_audio_processor_cpp kProcessorFunctions = {
    {queryInterface, addReference, release},
    {setArrangements, arrangement, canProcess, latency, setupProcessing, setProcessing, process, tail}};

uint32_t V3_API contextNeeds(void*) {
    return V3_PROCESS_CTX_NEED_CONTINUOUS_TIME | V3_PROCESS_CTX_NEED_PROJECT_TIME | V3_PROCESS_CTX_NEED_TEMPO |
           V3_PROCESS_CTX_NEED_TIME_SIG | V3_PROCESS_CTX_NEED_TRANSPORT_STATE;
}

const v3_process_context_requirements_cpp kRequirementsFunctions = {{queryInterface, addReference, release}, {contextNeeds}};

Vst3Instance* newInstance() {
    auto* v = new Vst3Instance;
    v->component = {&kComponentFunctions, v};
    v->processor = {&kProcessorFunctions, v};
    v->controller = {&kControllerFunctions, v};
    v->midiMapping = {&kMidiMappingFunctions, v};
    v->requirements = {&kRequirementsFunctions, v};
    v->core = std::make_unique<PluginCore>(v->rate);
    v->events.reset(new HostEvent[kMaxEvents]);
    return v;
}

// --- the factory -----------------------------------------------------------

v3_result V3_API factoryInterface(void* self, const v3_tuid iid, void** found) {
    if (!found) return V3_INVALID_ARG;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
        v3_tuid_match(iid, v3_plugin_factory_2_iid) || v3_tuid_match(iid, v3_plugin_factory_3_iid))
        return *found = self, V3_OK;
    return *found = nullptr, V3_NO_INTERFACE;
}

// The factory is one for the module's life.
uint32_t V3_API factoryReference(void*) { return 1; }

v3_result V3_API factoryInfo(void*, v3_factory_info* info) {
    *info = v3_factory_info{};
    std::strcpy(info->vendor, kVendor);
    info->flags = 0x10;  // texts in UTF-16
    return V3_OK;
}

int32_t V3_API classCount(void*) { return 1; }

template <class Info>
void describe(Info& info) {
    info = Info{};
    std::memcpy(info.class_id, kComponentClass, sizeof(v3_tuid));
    info.cardinality = 0x7FFFFFFF;
    std::strcpy(info.category, "Audio Module Class");
}

v3_result V3_API classInfo(void*, int32_t index, v3_class_info* info) {
    if (index != 0 || !info) return V3_INVALID_ARG;
    describe(*info);
    std::strcpy(info->name, kName);
    return V3_OK;
}

// A text of a class's description, in the field's own kind of characters.
template <size_t N>
void put(char (&to)[N], const std::string& text) {
    std::snprintf(to, N, "%s", text.c_str());
}
template <size_t N>
void put(int16_t (&to)[N], const std::string& text) {
    copyText(to, text);
}

// The second and third versions of the description: the same, in 8-bit
// and in UTF-16 texts.
template <class Info>
v3_result V3_API fullClassInfo(void*, int32_t index, Info* info) {
    if (index != 0 || !info) return V3_INVALID_ARG;
    describe(*info);
    info->class_flags = V3_DISTRIBUTABLE;
    std::strcpy(info->sub_categories, kCategories);
    put(info->name, kName);
    put(info->vendor, kVendor);
    put(info->version, versionText());
    put(info->sdk_version, kSdk);
    return V3_OK;
}

v3_result V3_API createInstance(void*, const v3_tuid classId, const v3_tuid iid, void** made) {
    if (!made) return V3_INVALID_ARG;
    *made = nullptr;
    if (std::memcmp(classId, kComponentClass, sizeof(v3_tuid)) != 0) return V3_NO_INTERFACE;
    Vst3Instance* v = newInstance();
    const v3_result found = queryInterface(&v->component, iid, made);
    release(&v->component);  // the host's reference alone, if it took one
    return found;
}

v3_result V3_API setHostContext(void*, v3_funknown**) { return V3_OK; }

const v3_plugin_factory_cpp kFactoryFunctions = {{factoryInterface, factoryReference, factoryReference},
                                                 {factoryInfo, classCount, classInfo, createInstance},
                                                 {fullClassInfo<v3_class_info_2>},
                                                 {fullClassInfo<v3_class_info_3>, setHostContext}};
const v3_plugin_factory_cpp* const kFactory = &kFactoryFunctions;

}  // namespace

// --- every face of an instance ---------------------------------------------

v3_result V3_API queryInterface(void* face, const v3_tuid iid, void** found) {
    if (!found) return V3_INVALID_ARG;
    Vst3Instance& v = instanceOf(face);
    void* f = nullptr;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_base_iid) || v3_tuid_match(iid, v3_component_iid))
        f = &v.component;
    else if (v3_tuid_match(iid, v3_audio_processor_iid))
        f = &v.processor;
    else if (v3_tuid_match(iid, v3_edit_controller_iid))
        f = &v.controller;
    else if (v3_tuid_match(iid, v3_midi_mapping_iid))
        f = &v.midiMapping;
    else if (v3_tuid_match(iid, v3_process_context_requirements_iid))
        f = &v.requirements;
    *found = f;
    if (!f) return V3_NO_INTERFACE;
    addReference(face);
    return V3_OK;
}

uint32_t V3_API addReference(void* face) { return instanceOf(face).references.fetch_add(1) + 1; }

uint32_t V3_API release(void* face) {
    Vst3Instance* v = &instanceOf(face);
    const uint32_t left = v->references.fetch_sub(1) - 1;
    if (left == 0) delete v;
    return left;
}

}  // namespace velmor

VELMOR_VST3_EXPORT const void* GetPluginFactory() { return &velmor::kFactory; }

#ifdef _WIN32
VELMOR_VST3_EXPORT bool InitDll() { return true; }
VELMOR_VST3_EXPORT bool ExitDll() { return true; }
#else
VELMOR_VST3_EXPORT bool ModuleEntry(void*) { return true; }
VELMOR_VST3_EXPORT bool ModuleExit() { return true; }
#endif
