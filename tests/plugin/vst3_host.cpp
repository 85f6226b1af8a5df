// A small VST3 host that runs the plugin checks (host_checks.h) against the
// plugin binary named on its command line (the library inside the bundle),
// through the C interface headers of the plugin framework.
//
// usage: velmor-vst3-host [--realtime] PLUGIN_LIBRARY [PATTERN_FILE]

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "host_checks.h"
#include "realtime_counter.h"
#include "travesty/audio_processor.h"
#include "travesty/component.h"
#include "travesty/edit_controller.h"
#include "travesty/events.h"
#include "travesty/factory.h"
#include "travesty/bstream.h"
#include "travesty/view.h"
#ifdef VELMOR_EDITOR_CHECKS
#include "editor_checks.h"
#endif

namespace velmor::hosttest {
namespace {

// The host's own objects live on its stack: the plugin borrows them for one
// call, so counting references is not needed.
v3_result V3_API noInterface(void*, const v3_tuid, void** obj) { return *obj = nullptr, V3_NO_INTERFACE; }
uint32_t V3_API oneReference(void*) { return 1; }
constexpr v3_funknown kUnknown = {noInterface, oneReference, oneReference};

// The object behind `self`: its first member points at its functions.
template <class Object>
Object& self(void* p) {
    return *static_cast<Object*>(p);
}
template <class Items>
bool within(int32_t index, const Items& items) {
    return index >= 0 && static_cast<size_t>(index) < items.size();
}

struct EventList {
    const v3_event_list_cpp* functions;
    std::vector<v3_event> events;

    static uint32_t V3_API count(void* p) { return static_cast<uint32_t>(self<EventList>(p).events.size()); }
    static v3_result V3_API get(void* p, int32_t index, v3_event* e) {
        const auto& events = self<EventList>(p).events;
        return within(index, events) ? (*e = events[index], V3_OK) : V3_INVALID_ARG;
    }
    // Within the room the host made: the plugin adds from within its block.
    static v3_result V3_API add(void* p, v3_event* e) {
        auto& events = self<EventList>(p).events;
        if (events.size() == events.capacity()) return V3_NOMEM;
        events.push_back(*e);
        return V3_OK;
    }
};
const v3_event_list_cpp kEventListFunctions = {kUnknown, {EventList::count, EventList::get, EventList::add}};

// The changes of one parameter in a block, each at its frame.
struct ParameterQueue {
    const v3_param_value_queue_cpp* functions;
    v3_param_id id;
    std::vector<std::pair<int32_t, double>> points;

    static v3_param_id V3_API parameterId(void* p) { return self<ParameterQueue>(p).id; }
    static int32_t V3_API pointCount(void* p) { return static_cast<int32_t>(self<ParameterQueue>(p).points.size()); }
    static v3_result V3_API point(void* p, int32_t index, int32_t* offset, double* value) {
        const auto& points = self<ParameterQueue>(p).points;
        return within(index, points) ? (*offset = points[index].first, *value = points[index].second, V3_OK) : V3_INVALID_ARG;
    }
    static v3_result V3_API addPoint(void*, int32_t, double, int32_t* index) { return *index = 0, V3_OK; }
};
const v3_param_value_queue_cpp kQueueFunctions = {
    kUnknown, {ParameterQueue::parameterId, ParameterQueue::pointCount, ParameterQueue::point, ParameterQueue::addPoint}};

struct ParameterChanges {
    const v3_param_changes_cpp* functions;
    std::vector<ParameterQueue> queues;
    ParameterQueue sink{&kQueueFunctions, 0, {}};

    static int32_t V3_API count(void* p) { return static_cast<int32_t>(self<ParameterChanges>(p).queues.size()); }
    static v3_param_value_queue** V3_API get(void* p, int32_t index) {
        auto& queues = self<ParameterChanges>(p).queues;
        return within(index, queues) ? reinterpret_cast<v3_param_value_queue**>(&queues[index]) : nullptr;
    }
    static v3_param_value_queue** V3_API add(void* p, v3_param_id*, int32_t* index) {
        return *index = 0, reinterpret_cast<v3_param_value_queue**>(&self<ParameterChanges>(p).sink);
    }
};
const v3_param_changes_cpp kChangesFunctions = {kUnknown, {ParameterChanges::count, ParameterChanges::get, ParameterChanges::add}};

struct StreamFunctions : v3_funknown {
    v3_bstream stream;
};

// A stream over bytes in memory that reads in small pieces, as hosts do.
struct Stream {
    const StreamFunctions* functions;
    std::string bytes;
    size_t at = 0;

    static v3_result V3_API read(void* p, void* buffer, int32_t size, int32_t* got) {
        Stream& s = self<Stream>(p);
        const size_t n = std::min<size_t>({static_cast<size_t>(size < 0 ? 0 : size), s.bytes.size() - s.at, 1000});
        std::memcpy(buffer, s.bytes.data() + s.at, n);
        s.at += n;
        if (got) *got = static_cast<int32_t>(n);
        return V3_OK;
    }
    static v3_result V3_API write(void* p, void* buffer, int32_t size, int32_t* written) {
        Stream& s = self<Stream>(p);
        s.bytes.replace(s.at, std::min<size_t>(size, s.bytes.size() - s.at), static_cast<const char*>(buffer), size);
        s.at += size;
        if (written) *written = size;
        return V3_OK;
    }
    static v3_result V3_API seek(void* p, int64_t pos, int32_t mode, int64_t* result) {
        Stream& s = self<Stream>(p);
        const int64_t base = mode == V3_SEEK_SET ? 0 : mode == V3_SEEK_CUR ? static_cast<int64_t>(s.at) : static_cast<int64_t>(s.bytes.size());
        if (base + pos < 0 || base + pos > static_cast<int64_t>(s.bytes.size())) return V3_INVALID_ARG;
        s.at = static_cast<size_t>(base + pos);
        if (result) *result = static_cast<int64_t>(s.at);
        return V3_OK;
    }
    static v3_result V3_API tell(void* p, int64_t* pos) { return *pos = static_cast<int64_t>(self<Stream>(p).at), V3_OK; }
};
const StreamFunctions kStreamFunctions = {kUnknown, {Stream::read, Stream::write, Stream::seek, Stream::tell}};

std::string text(const int16_t* utf16) {
    std::string s;
    for (int i = 0; i < 128 && utf16[i]; ++i) s += static_cast<char>(utf16[i] < 128 ? utf16[i] : '?');
    return s;
}

template <class T>
T** query(void* object, const v3_tuid iid) {
    T** found = nullptr;
    return (*static_cast<v3_funknown**>(object))->query_interface(object, iid, reinterpret_cast<void**>(&found)) == V3_OK ? found : nullptr;
}

void release(void* object) {
    if (object) (*static_cast<v3_funknown**>(object))->unref(object);
}

struct ComponentHandlerFunctions : v3_funknown {
    v3_component_handler handler;
};

// What the editor tells the host, through the component handler: the
// normalised values it performed, in order.
struct Handler {
    const ComponentHandlerFunctions* functions;
    std::vector<std::pair<v3_param_id, double>> performed;
    std::vector<v3_param_id> begun, ended;
    static v3_result V3_API begin(void* p, v3_param_id id) { return self<Handler>(p).begun.push_back(id), V3_OK; }
    static v3_result V3_API end(void* p, v3_param_id id) { return self<Handler>(p).ended.push_back(id), V3_OK; }
    static v3_result V3_API perform(void* p, v3_param_id id, double normalised) {
        self<Handler>(p).performed.emplace_back(id, normalised);
        return V3_OK;
    }
    static v3_result V3_API restart(void*, int32_t) { return V3_OK; }
};
const ComponentHandlerFunctions kHandlerFunctions = {kUnknown, {Handler::begin, Handler::perform, Handler::end, Handler::restart}};

// The plug frame holds the run loop, whose one timer feeds the editor.
struct RunLoop {
    const v3_run_loop_cpp* functions;
    v3_timer_handler** timer = nullptr;
    static v3_result V3_API addHandler(void*, v3_event_handler**, int) { return V3_OK; }
    static v3_result V3_API removeHandler(void*, v3_event_handler**) { return V3_OK; }
    static v3_result V3_API addTimer(void* p, v3_timer_handler** t, uint64_t) { return self<RunLoop>(p).timer = t, V3_OK; }
    static v3_result V3_API removeTimer(void* p, v3_timer_handler**) { return self<RunLoop>(p).timer = nullptr, V3_OK; }
};
const v3_run_loop_cpp kRunLoopFunctions = {kUnknown, {RunLoop::addHandler, RunLoop::removeHandler, RunLoop::addTimer, RunLoop::removeTimer}};
RunLoop runLoop{&kRunLoopFunctions};

// A run loop as on Linux; on Windows none, as there: the view's own timer
// runs through the window's messages.
v3_result V3_API frameInterface(void* p, const v3_tuid iid, void** obj) {
#ifndef _WIN32
    if (v3_tuid_match(iid, v3_run_loop_iid)) return *obj = &runLoop, V3_OK;
#endif
    return noInterface(p, iid, obj);
}
v3_result V3_API resizeView(void*, v3_plugin_view**, v3_view_rect*) { return V3_OK; }
const v3_plugin_frame_cpp kFrameFunctions = {{frameInterface, oneReference, oneReference}, {resizeView}};
v3_plugin_frame_cpp frameFunctions = kFrameFunctions;
v3_plugin_frame_cpp* frame = &frameFunctions;

class Vst3Instance : public Instance {
public:
    explicit Vst3Instance(v3_component** component) : component_(component) {
        processor_ = query<v3_audio_processor>(component, v3_audio_processor_iid);
        controller_ = query<v3_edit_controller>(component, v3_edit_controller_iid);
        mapping_ = query<v3_midi_mapping>(component, v3_midi_mapping_iid);
        if (!controller_) return;
        // The hidden ones are the plugin's own (latency, MIDI controllers).
        for (int32_t i = 0, n = v3_cpp_obj(controller_)->get_parameter_count(controller_); i < n; ++i) {
            // Every index has its parameter; each control steps through its
            // whole range. Otherwise no control is shown, and the checks of
            // the list fail.
            v3_param_info info{};
            const bool found = v3_cpp_obj(controller_)->get_parameter_info(controller_, i, &info) == V3_OK;
            if (found && (info.flags & (V3_PARAM_IS_HIDDEN | V3_PARAM_READ_ONLY))) continue;
            if (!found || info.step_count != std::lround(plain(info.param_id, 1) - plain(info.param_id, 0))) {
                ids_.clear(), shown_.clear();
                return;
            }
            ids_.push_back(info.param_id);
            shown_.push_back({info.param_id,
                              text(info.title),
                              plain(info.param_id, 0),
                              plain(info.param_id, 1),
                              plain(info.param_id, info.default_normalised_value),
                              {},
                              text(info.short_title)});
        }
    }
    ~Vst3Instance() override {
        deactivate();
        release(processor_);
        release(controller_);
        release(mapping_);
        v3_cpp_obj_terminate(component_);
        release(component_);
    }

    bool activate(double rate, uint32_t maxFrames) override {
        if (!processor_ || !controller_) return false;
        v3_component* c = v3_cpp_obj(component_);
        // One stereo output and an event input and output, all switched on.
        v3_bus_info bus{};
        if (c->get_bus_count(component_, V3_AUDIO, V3_INPUT) != 0 || c->get_bus_count(component_, V3_AUDIO, V3_OUTPUT) != 1 ||
            c->get_bus_count(component_, V3_EVENT, V3_INPUT) != 1 || c->get_bus_count(component_, V3_EVENT, V3_OUTPUT) != 1 ||
            c->get_bus_info(component_, V3_AUDIO, V3_OUTPUT, 0, &bus) != V3_OK || bus.channel_count != 2)
            return false;
        v3_speaker_arrangement stereo = V3_SPEAKER_L | V3_SPEAKER_R;
        v3_process_setup setup{V3_REALTIME, V3_SAMPLE_32, static_cast<int32_t>(maxFrames), rate};
        rate_ = rate;
        processing_ = c->activate_bus(component_, V3_AUDIO, V3_OUTPUT, 0, true) == V3_OK &&
                      c->activate_bus(component_, V3_EVENT, V3_INPUT, 0, true) == V3_OK &&
                      c->activate_bus(component_, V3_EVENT, V3_OUTPUT, 0, true) == V3_OK &&
                      v3_cpp_obj(processor_)->set_bus_arrangements(processor_, nullptr, 0, &stereo, 1) == V3_OK &&
                      v3_cpp_obj(processor_)->can_process_sample_size(processor_, V3_SAMPLE_32) == V3_OK &&
                      v3_cpp_obj(processor_)->setup_processing(processor_, &setup) == V3_OK && c->set_active(component_, true) == V3_OK &&
                      v3_cpp_obj(processor_)->set_processing(processor_, true) == V3_OK;
        return processing_;
    }

    void deactivate() override {
        if (processing_) {
            v3_cpp_obj(processor_)->set_processing(processor_, false);
            v3_cpp_obj(component_)->set_active(component_, false);
        }
        processing_ = false;
    }

    uint32_t latency() override { return v3_cpp_obj(processor_)->get_latency_samples(processor_); }

    std::vector<ParameterInfo> parameters() override { return shown_; }

    bool process(float* left, float* right, uint32_t frames, const std::vector<MidiAt>& midi, const std::vector<ParameterChange>& changes) override {
        // One queue a parameter, its points in frame order, as hosts send them.
        ParameterChanges in{&kChangesFunctions, {}};
        for (const auto& [index, value, frame] : changes) {
            if (index >= ids_.size()) return false;
            const double normalised = v3_cpp_obj(controller_)->plain_parameter_to_normalised(controller_, ids_[index], value);
            auto queue = std::find_if(in.queues.begin(), in.queues.end(), [&](const ParameterQueue& q) { return q.id == ids_[index]; });
            if (queue == in.queues.end()) queue = in.queues.insert(in.queues.end(), {&kQueueFunctions, ids_[index], {}});
            queue->points.emplace_back(static_cast<int32_t>(frame), normalised);
        }
        ParameterChanges out{&kChangesFunctions, {}};
        EventList events{&kEventListFunctions, {}}, notes{&kEventListFunctions, {}};
        notes.events.reserve(kMostSent);
        for (const MidiAt& m : midi) {
            const int type = m.bytes[0] & 0xF0;
            if (type == 0xB0) {
                // A controller goes as the parameter the plugin maps it to.
                v3_param_id id = 0;
                if (!mapping_ || v3_cpp_obj(mapping_)->get_midi_controller_assignment(mapping_, 0, m.bytes[0] & 15, m.bytes[1], &id) != V3_TRUE)
                    return false;
                in.queues.push_back({&kQueueFunctions, id, {{static_cast<int32_t>(m.frame), m.bytes[2] / 127.0}}});
                continue;
            }
            if (type != 0x80 && type != 0x90) return false;
            v3_event e{0, static_cast<int32_t>(m.frame), 0, 0, static_cast<uint16_t>(type == 0x90 ? V3_EVENT_NOTE_ON : V3_EVENT_NOTE_OFF), {}};
            const int16_t channel = m.bytes[0] & 15;
            if (type == 0x90)
                e.note_on = {channel, m.bytes[1], 0, m.bytes[2] / 127.0f, 0, -1};
            else
                e.note_off = {channel, m.bytes[1], m.bytes[2] / 127.0f, -1, 0};
            events.events.push_back(e);
        }
        // A host that stands still, unless told otherwise.
        v3_process_context context{};
        context.sample_rate = rate_;
        context.state = V3_PROCESS_CTX_CONT_TIME_VALID;
        context.continuous_time_in_samples = position_;
        if (const auto& t = transport_) {
            context.state |= V3_PROCESS_CTX_PROJECT_TIME_VALID | V3_PROCESS_CTX_TEMPO_VALID | (t->playing ? V3_PROCESS_CTX_PLAYING : 0) |
                             (t->loopEnd > t->loopStart ? V3_PROCESS_CTX_CYCLE_ACTIVE | V3_PROCESS_CTX_CYCLE_VALID : 0);
            context.project_time_quarters = t->quarters;
            context.project_time_in_samples = t->frame;
            context.bpm = t->beatsPerMinute;
            context.cycle_start_quarters = t->loopStart;
            context.cycle_end_quarters = t->loopEnd;
        }
        float* channels[2] = {left, right};
        v3_audio_bus_buffers buffers{2, 0, {channels}};
        // No channels given: no output bus, as a host that switched it off.
        v3_process_data data{V3_REALTIME,
                             V3_SAMPLE_32,
                             static_cast<int32_t>(frames),
                             0,
                             left ? 1 : 0,
                             nullptr,
                             left ? &buffers : nullptr,
                             reinterpret_cast<v3_param_changes**>(&in),
                             reinterpret_cast<v3_param_changes**>(&out),
                             reinterpret_cast<v3_event_list**>(&events),
                             reinterpret_cast<v3_event_list**>(&notes),
                             &context};
        position_ += frames;
        {
            const AudioCallback inside;
            if (v3_cpp_obj(processor_)->process(processor_, &data) != V3_OK) return false;
        }
        // The notes the plugin sent, as MIDI.
        sent_.clear();
        for (const v3_event& e : notes.events) {
            const bool on = e.type == V3_EVENT_NOTE_ON;
            if (!on && e.type != V3_EVENT_NOTE_OFF) continue;
            const auto channel = static_cast<uint8_t>(on ? e.note_on.channel : e.note_off.channel);
            const auto key = static_cast<uint8_t>(on ? e.note_on.pitch : e.note_off.pitch);
            const auto velocity = static_cast<uint8_t>(std::lround((on ? e.note_on.velocity : e.note_off.velocity) * 127));
            keep({static_cast<uint32_t>(e.sample_offset), {static_cast<uint8_t>((on ? 0x90 : 0x80) | channel), key, velocity}});
        }
        return true;
    }

    bool parameterValue(uint32_t index, double& value) override {
        if (index >= ids_.size()) return false;
        value = plain(ids_[index], v3_cpp_obj(controller_)->get_parameter_normalised(controller_, ids_[index]));
        return true;
    }

    bool saveState(std::string& bytes) override {
        Stream s{&kStreamFunctions, {}};
        const bool ok = v3_cpp_obj(component_)->get_state(component_, reinterpret_cast<v3_bstream**>(&s)) == V3_OK;
        bytes = s.bytes;
        return ok;
    }

    // As hosts do: the component first, then its state again for the
    // controller.
    bool loadState(const std::string& bytes) override {
        Stream s{&kStreamFunctions, bytes};
        auto** stream = reinterpret_cast<v3_bstream**>(&s);
        const bool component = v3_cpp_obj(component_)->set_state(component_, stream) == V3_OK;
        s.at = 0;
        const bool controller = v3_cpp_obj(controller_)->set_component_state(controller_, stream) == V3_OK;
        return component && controller;
    }

    bool openEditor(uintptr_t parent, double scale, uint32_t& width, uint32_t& height) override {
        if (parent == 0) {
            v3_cpp_obj(controller_)->set_component_handler(controller_, reinterpret_cast<v3_component_handler**>(&handler_));
            view_ = v3_cpp_obj(controller_)->create_view(controller_, "editor");
            v3_plugin_view_content_scale** scaling = nullptr;
            v3_view_rect size{};
            if (!view_ || v3_cpp_obj_query_interface(view_, v3_plugin_view_content_scale_iid, &scaling) != V3_OK ||
                (scale > 0 && v3_cpp_obj(scaling)->set_content_scale_factor(scaling, static_cast<float>(scale)) != V3_OK) ||
                v3_cpp_obj(view_)->set_frame(view_, reinterpret_cast<v3_plugin_frame**>(&frame)) != V3_OK ||
                v3_cpp_obj(view_)->get_size(view_, &size) != V3_OK)
                return false;
            release(scaling);
            width = static_cast<uint32_t>(size.right - size.left), height = static_cast<uint32_t>(size.bottom - size.top);
            return true;
        }
#ifdef _WIN32
        const char* platform = V3_VIEW_PLATFORM_TYPE_HWND;
#else
        const char* platform = V3_VIEW_PLATFORM_TYPE_X11;
#endif
        return v3_cpp_obj(view_)->attached(view_, reinterpret_cast<void*>(parent), platform) == V3_OK;
    }
    void idleEditor() override {
        if (runLoop.timer) v3_cpp_obj(runLoop.timer)->on_timer(runLoop.timer);
    }
    void closeEditor() override {
        v3_cpp_obj(view_)->removed(view_);
        release(view_);
        view_ = nullptr;
    }
    Heard heardFromEditor(uint32_t index) override {
        if (index >= ids_.size()) return {};
        const auto count = [&](const auto& ids) { return static_cast<int>(std::count(ids.begin(), ids.end(), ids_[index])); };
        const auto values =
            std::count_if(handler_.performed.begin(), handler_.performed.end(), [&](const auto& p) { return p.first == ids_[index]; });
        return {count(handler_.begun), count(handler_.ended), static_cast<int>(values)};
    }
    bool toldByEditor(uint32_t index, double& value) override {
        for (const auto& [id, normalised] : handler_.performed)
            if (index < ids_.size() && id == ids_[index]) value = plain(id, normalised);
        return index < ids_.size() &&
               std::any_of(handler_.performed.begin(), handler_.performed.end(), [&](const auto& p) { return p.first == ids_[index]; });
    }

private:
    double plain(v3_param_id id, double normalised) { return v3_cpp_obj(controller_)->normalised_parameter_to_plain(controller_, id, normalised); }

    v3_component** component_;
    v3_audio_processor** processor_ = nullptr;
    v3_edit_controller** controller_ = nullptr;
    v3_midi_mapping** mapping_ = nullptr;
    std::vector<v3_param_id> ids_;
    std::vector<ParameterInfo> shown_;
    bool processing_ = false;
    Handler handler_{&kHandlerFunctions, {}, {}, {}};
    v3_plugin_view** view_ = nullptr;
    double rate_ = 44100;
    int64_t position_ = 0;
};

// A block played without an output bus keeps the plugin's time: the blocks
// after it sound as if it had been heard.
void checkBlockWithoutOutput(const Format& format) {
    auto heard = format.create(), unheard = format.create();
    if (!heard || !unheard || !heard->activate(44100, 512) || !unheard->activate(44100, 512))
        return fail("without an output bus: the instances did not start");
    std::vector<float> a(1024), b(1024);
    const std::vector<MidiAt> key = {{10, {0x90, 45, 110}}};
    if (!heard->process(a.data(), a.data() + 512, 512, key, {}) || !unheard->process(nullptr, nullptr, 512, key, {}))
        return fail("without an output bus: the block was refused");
    for (int block = 0; block < 8; ++block) {
        heard->process(a.data(), a.data() + 512, 512, {}, {});
        unheard->process(b.data(), b.data() + 512, 512, {}, {});
        if (a != b) return fail("without an output bus: the next blocks sound otherwise");
    }
}

#ifdef _WIN32
using ModuleEntry = bool (*)();
const char kEntryName[] = "InitDll";
const char kExitName[] = "ExitDll";
#else
using ModuleEntry = bool (*)(void*);
const char kEntryName[] = "ModuleEntry";
const char kExitName[] = "ModuleExit";
#endif
using ModuleExit = bool (*)();
using GetFactory = v3_plugin_factory** (*)();

void run(const Library& library, const std::string& path, const std::string& patternFile, bool realtime) {
    const auto entry = reinterpret_cast<ModuleEntry>(library.symbol(kEntryName));
    const auto moduleExit = reinterpret_cast<ModuleExit>(library.symbol(kExitName));
    const auto getFactory = reinterpret_cast<GetFactory>(library.symbol("GetPluginFactory"));
#ifdef _WIN32
    const bool entered = entry && entry();
#else
    const bool entered = entry && entry(library.handle());
#endif
    v3_plugin_factory** factory = entered && moduleExit && getFactory ? getFactory() : nullptr;
    if (!factory) return fail(path + " has no VST3 module entry and factory");
    // The one audio module class.
    int modules = 0;
    v3_class_info found{};
    for (int32_t i = 0, n = v3_cpp_obj(factory)->num_classes(factory); i < n; ++i) {
        v3_class_info info{};
        if (v3_cpp_obj(factory)->get_class_info(factory, i, &info) == V3_OK && std::strcmp(info.category, "Audio Module Class") == 0 &&
            ++modules == 1)
            found = info;
    }
    // The class saved projects name.
    const uint8_t kClassId[16] = {0x20, 0x46, 0x50, 0x44, 0x73, 0x61, 0x6c, 0x63, 0x72, 0x6d, 0x6c, 0x56, 0, 0, 0, 0};
    if (modules != 1 || std::strcmp(found.name, "Velmor") != 0) {
        fail(path + " does not hold the one audio module Velmor");
    } else if (std::memcmp(found.class_id, kClassId, sizeof kClassId) != 0) {
        fail(path + ": the class id has changed; saved projects would not find the plugin");
    } else {
        const Format format{
            [&]() -> std::unique_ptr<Instance> {
                v3_component** component = nullptr;
                if (v3_cpp_obj(factory)->create_instance(factory, found.class_id, v3_component_iid, reinterpret_cast<void**>(&component)) != V3_OK ||
                    !component)
                    return nullptr;
                if (v3_cpp_obj_initialize(component, nullptr) == V3_OK) return std::make_unique<Vst3Instance>(component);
                release(component);
                return nullptr;
            },
            // After the hidden ones (latency, MIDI controllers) and "Step".
            2082};
        if (editorAsked().any()) {
#ifdef VELMOR_EDITOR_CHECKS
            runAskedEditorChecks(format);
#endif
        } else if (realtime) {
            runRealtimeChecks(format);
        } else {
            runChecks(format, patternFile);
            checkBlockWithoutOutput(format);
        }
    }
    release(factory);
    moduleExit();
}

}  // namespace
}  // namespace velmor::hosttest

int main(int argc, char** argv) {
    return velmor::hosttest::hostMain(argc, argv, "velmor-vst3-host [--realtime] PLUGIN_LIBRARY [PATTERN_FILE]", velmor::hosttest::run);
}
