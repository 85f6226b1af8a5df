// A small CLAP host that runs the plugin checks (host_checks.h) against the
// plugin binary named on its command line.
//
// usage: velmor-clap-host [--realtime] PLUGIN.clap [PATTERN_FILE]

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "clap/entry.h"
#include "clap/fixedpoint.h"
#include "clap/ext/audio-ports.h"
#include "clap/ext/latency.h"
#include "clap/ext/note-ports.h"
#include "clap/ext/params.h"
#include "clap/ext/gui.h"
#include "clap/ext/state.h"
#include "clap/ext/timer-support.h"
#include "clap/plugin-factory.h"
#include "host_checks.h"
#ifdef VELMOR_EDITOR_CHECKS
#include "editor_checks.h"
#endif
#include "realtime_counter.h"
#include "velmor_version.h"

namespace velmor::hosttest {
namespace {

std::array<double, 256> filled(double v) {
    std::array<double, 256> a;
    a.fill(v);
    return a;
}

const char kPluginId[] = "velmor.velmor";

// What hosts offer: they hear of latency and parameter changes (and here
// do nothing about them).
void CLAP_ABI hostRequest(const clap_host_t*) {}
void CLAP_ABI rescanParameters(const clap_host_t*, clap_param_rescan_flags) {}
void CLAP_ABI clearParameter(const clap_host_t*, clap_id, clap_param_clear_flags) {}
const clap_host_latency_t kHostLatency = {hostRequest};
const clap_host_params_t kHostParams = {rescanParameters, clearParameter, hostRequest};
// A window the editor may resize, and one timer for it.
clap_id editorTimer = CLAP_INVALID_ID;
bool CLAP_ABI registerTimer(const clap_host_t*, uint32_t, clap_id* id) { return *id = editorTimer = 1, true; }
bool CLAP_ABI unregisterTimer(const clap_host_t*, clap_id) { return editorTimer = CLAP_INVALID_ID, true; }
bool CLAP_ABI agree(const clap_host_t*) { return true; }
bool CLAP_ABI resize(const clap_host_t*, uint32_t, uint32_t) { return true; }
void CLAP_ABI closed(const clap_host_t*, bool) {}
const clap_host_timer_support_t kHostTimer = {registerTimer, unregisterTimer};
const clap_host_gui_t kHostGui = {hostRequest, resize, agree, agree, closed};

const void* CLAP_ABI hostExtension(const clap_host_t*, const char* id) {
    if (std::strcmp(id, CLAP_EXT_LATENCY) == 0) return &kHostLatency;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &kHostParams;
    if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &kHostGui;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &kHostTimer;
    return nullptr;
}

const clap_host_t kHost = {CLAP_VERSION_INIT, nullptr, "Velmor test host", "Velmor", "", "1", hostExtension, hostRequest, hostRequest, hostRequest};

// The events of one block, sorted into time order.
struct EventList {
    std::vector<std::vector<uint8_t>> events;
    clap_input_events_t list{this, size, get};

    template <class Event>
    void add(const Event& e) {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&e);
        events.emplace_back(bytes, bytes + sizeof e);
    }
    void sort() {
        std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) {
            return reinterpret_cast<const clap_event_header_t*>(a.data())->time < reinterpret_cast<const clap_event_header_t*>(b.data())->time;
        });
    }
    static uint32_t CLAP_ABI size(const clap_input_events_t* l) { return static_cast<uint32_t>(static_cast<EventList*>(l->ctx)->events.size()); }
    static const clap_event_header_t* CLAP_ABI get(const clap_input_events_t* l, uint32_t index) {
        auto& events = static_cast<EventList*>(l->ctx)->events;
        return index < events.size() ? reinterpret_cast<const clap_event_header_t*>(events[index].data()) : nullptr;
    }
};

bool CLAP_ABI ignoreOutput(const clap_output_events_t*, const clap_event_header_t*) { return true; }
const clap_output_events_t kNoOutput = {nullptr, ignoreOutput};

int64_t CLAP_ABI writeTo(const clap_ostream_t* stream, const void* buffer, uint64_t size) {
    static_cast<std::string*>(stream->ctx)->append(static_cast<const char*>(buffer), size);
    return static_cast<int64_t>(size);
}

// Reads in small pieces, as hosts do.
struct Reader {
    const std::string& bytes;
    size_t at = 0;
    static int64_t CLAP_ABI read(const clap_istream_t* stream, void* buffer, uint64_t size) {
        Reader& r = *static_cast<Reader*>(stream->ctx);
        const size_t n = std::min<size_t>({static_cast<size_t>(size), r.bytes.size() - r.at, 1000});
        std::memcpy(buffer, r.bytes.data() + r.at, n);
        r.at += n;
        return static_cast<int64_t>(n);
    }
};

class ClapInstance : public Instance {
public:
    ClapInstance(const clap_plugin_t* plugin, bool noteEvents) : plugin_(plugin), noteEvents_(noteEvents) {
        params_ = static_cast<const clap_plugin_params_t*>(plugin->get_extension(plugin, CLAP_EXT_PARAMS));
        state_ = static_cast<const clap_plugin_state_t*>(plugin->get_extension(plugin, CLAP_EXT_STATE));
        latency_ = static_cast<const clap_plugin_latency_t*>(plugin->get_extension(plugin, CLAP_EXT_LATENCY));
        ports_ = static_cast<const clap_plugin_audio_ports_t*>(plugin->get_extension(plugin, CLAP_EXT_AUDIO_PORTS));
        notePorts_ = static_cast<const clap_plugin_note_ports_t*>(plugin->get_extension(plugin, CLAP_EXT_NOTE_PORTS));
        for (uint32_t i = 0, n = params_ ? params_->count(plugin) : 0; i < n; ++i) {
            clap_param_info_t info{};
            // Read-only ones (the step playing) are no controls.
            if (params_->get_info(plugin, i, &info) && !(info.flags & CLAP_PARAM_IS_READONLY)) infos_.push_back(info);
        }
    }
    ~ClapInstance() override {
        deactivate();
        plugin_->destroy(plugin_);
    }

    bool activate(double rate, uint32_t maxFrames) override {
        if (!params_ || !state_ || !latency_ || !ports_ || !notePorts_) return false;
        // One stereo output, no input, and a note input and output that
        // take MIDI.
        clap_audio_port_info_t port{};
        clap_note_port_info_t notes{}, sent{};
        if (ports_->count(plugin_, true) != 0 || ports_->count(plugin_, false) != 1 || !ports_->get(plugin_, 0, false, &port) ||
            port.channel_count != 2 || notePorts_->count(plugin_, true) != 1 || !notePorts_->get(plugin_, 0, true, &notes) ||
            !(notes.supported_dialects & CLAP_NOTE_DIALECT_MIDI) || notePorts_->count(plugin_, false) != 1 ||
            !notePorts_->get(plugin_, 0, false, &sent) || !(sent.supported_dialects & CLAP_NOTE_DIALECT_MIDI))
            return false;
        // The ports' ids, which hosts keep with their routing.
        if (notes.id != 0 || sent.id != 1) return false;
        active_ = plugin_->activate(plugin_, rate, 1, maxFrames) && plugin_->start_processing(plugin_);
        return active_;
    }

    void deactivate() override {
        if (active_) {
            plugin_->stop_processing(plugin_);
            plugin_->deactivate(plugin_);
        }
        active_ = false;
    }

    uint32_t latency() override { return latency_->get(plugin_); }

    std::vector<ParameterInfo> parameters() override {
        std::vector<ParameterInfo> shown;
        for (const clap_param_info_t& i : infos_) shown.push_back({i.id, i.name, i.min_value, i.max_value, i.default_value, {}, {}});
        return shown;
    }

    bool process(float* left, float* right, uint32_t frames, const std::vector<MidiAt>& midi, const std::vector<ParameterChange>& changes) override {
        EventList in;
        for (const auto& [index, value, frame] : changes) {
            if (index >= infos_.size()) return false;
            in.add(clap_event_param_value_t{{sizeof(clap_event_param_value_t), frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0},
                                            infos_[index].id,
                                            infos_[index].cookie,
                                            -1,
                                            -1,
                                            -1,
                                            -1,
                                            value});
        }
        for (const MidiAt& m : midi) {
            const int type = m.bytes[0] & 0xF0;
            const auto header = [&m](uint32_t size, int kind) {
                return clap_event_header_t{size, m.frame, CLAP_CORE_EVENT_SPACE_ID, static_cast<uint16_t>(kind), 0};
            };
            if (noteEvents_ && (type == 0x80 || type == 0x90))
                in.add(clap_event_note_t{header(sizeof(clap_event_note_t), type == 0x90 ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF), -1, 0,
                                         static_cast<int16_t>(m.bytes[0] & 15), m.bytes[1], m.bytes[2] / 127.0});
            else
                in.add(clap_event_midi_t{header(sizeof(clap_event_midi_t), CLAP_EVENT_MIDI), 0, {m.bytes[0], m.bytes[1], m.bytes[2]}});
        }
        in.sort();
        float* channels[2] = {left, right};
        clap_audio_buffer_t out{channels, nullptr, 2, 0, 0};
        const clap_event_transport_t transport = transportEvent();
        sent_.clear();
        const clap_output_events_t sent{this, keepMidi};
        const clap_process_t p{steadyTime_, frames, transport_ ? &transport : nullptr, nullptr, &out, 0, 1, &in.list, &sent};
        steadyTime_ += frames;
        const AudioCallback inside;
        return plugin_->process(plugin_, &p) != CLAP_PROCESS_ERROR;
    }

    // Outside process().
    void flush(const ParameterChange& c) {
        EventList in;
        in.add(clap_event_param_value_t{{sizeof(clap_event_param_value_t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0},
                                        infos_[c.index].id,
                                        infos_[c.index].cookie,
                                        -1,
                                        -1,
                                        -1,
                                        -1,
                                        c.value});
        params_->flush(plugin_, &in.list, &kNoOutput);
    }

    bool parameterValue(uint32_t index, double& value) override {
        return index < infos_.size() && params_->get_value(plugin_, infos_[index].id, &value);
    }

    bool saveState(std::string& bytes) override {
        bytes.clear();
        const clap_ostream_t stream{&bytes, writeTo};
        return state_->save(plugin_, &stream);
    }

    bool loadState(const std::string& bytes) override {
        Reader reader{bytes};
        const clap_istream_t stream{&reader, Reader::read};
        return state_->load(plugin_, &stream);
    }

    bool openEditor(uintptr_t parent, double scale, uint32_t& width, uint32_t& height) override {
        gui_ = static_cast<const clap_plugin_gui_t*>(plugin_->get_extension(plugin_, CLAP_EXT_GUI));
        timer_ = static_cast<const clap_plugin_timer_support_t*>(plugin_->get_extension(plugin_, CLAP_EXT_TIMER_SUPPORT));
        if (!gui_ || !timer_) return false;
#ifdef _WIN32
        const char* api = CLAP_WINDOW_API_WIN32;
#else
        const char* api = CLAP_WINDOW_API_X11;
#endif
        if (parent == 0)
            return gui_->create(plugin_, api, false) && (scale <= 0 || gui_->set_scale(plugin_, scale)) && gui_->get_size(plugin_, &width, &height);
        clap_window_t window{api, {}};
#ifdef _WIN32
        window.win32 = reinterpret_cast<clap_hwnd>(parent);
#else
        window.x11 = parent;
#endif
        return gui_->set_parent(plugin_, &window) && gui_->show(plugin_);
    }
    void idleEditor() override {
        if (editorTimer != CLAP_INVALID_ID) timer_->on_timer(plugin_, editorTimer);
    }
    void closeEditor() override {
        gui_->hide(plugin_);
        gui_->destroy(plugin_);
    }
    bool toldByEditor(uint32_t index, double& value) override {
        if (index >= told_.size() || std::isnan(told_[index])) return false;
        value = told_[index];
        return true;
    }
    Heard heardFromEditor(uint32_t index) override { return index < told_.size() ? Heard{begun_[index], ended_[index], values_[index]} : Heard{}; }

private:
    // The plugin's MIDI messages; the rest (the step playing) is none of
    // the checks'.
    static bool CLAP_ABI keepMidi(const clap_output_events_t* list, const clap_event_header_t* e) {
        auto& self = *static_cast<ClapInstance*>(list->ctx);
        if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_MIDI) {
            const auto* m = reinterpret_cast<const clap_event_midi_t*>(e);
            self.keep({e->time, {m->data[0], m->data[1], m->data[2]}});
        }
        // What the editor told the host (the parameters after "Step").
        if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_PARAM_VALUE) {
            const auto* p = reinterpret_cast<const clap_event_param_value_t*>(e);
            if (p->param_id >= 1 && p->param_id - 1 < self.told_.size()) self.told_[p->param_id - 1] = p->value, ++self.values_[p->param_id - 1];
        }
        if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && (e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || e->type == CLAP_EVENT_PARAM_GESTURE_END)) {
            const auto* g = reinterpret_cast<const clap_event_param_gesture_t*>(e);
            if (g->param_id >= 1 && g->param_id - 1 < self.told_.size())
                ++(e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? self.begun_ : self.ended_)[g->param_id - 1];
        }
        return true;
    }

    clap_event_transport_t transportEvent() const {
        clap_event_transport_t e{};
        e.header = {sizeof e, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
        if (!transport_) return e;
        const Transport& t = *transport_;
        const auto beats = [](double quarters) { return static_cast<clap_beattime>(std::llround(quarters * CLAP_BEATTIME_FACTOR)); };
        e.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | (t.playing ? CLAP_TRANSPORT_IS_PLAYING : 0) |
                  (t.loopEnd > t.loopStart ? CLAP_TRANSPORT_IS_LOOP_ACTIVE : 0);
        e.song_pos_beats = beats(t.quarters);
        e.tempo = t.beatsPerMinute;
        e.loop_start_beats = beats(t.loopStart);
        e.loop_end_beats = beats(t.loopEnd);
        e.tsig_num = e.tsig_denom = 4;
        return e;
    }

    const clap_plugin_t* plugin_;
    bool noteEvents_;
    const clap_plugin_gui_t* gui_ = nullptr;
    const clap_plugin_timer_support_t* timer_ = nullptr;
    std::array<double, 256> told_ = filled(std::nan(""));
    std::array<int, 256> begun_{}, ended_{}, values_{};
    const clap_plugin_params_t* params_ = nullptr;
    const clap_plugin_state_t* state_ = nullptr;
    const clap_plugin_latency_t* latency_ = nullptr;
    const clap_plugin_audio_ports_t* ports_ = nullptr;
    const clap_plugin_note_ports_t* notePorts_ = nullptr;
    std::vector<clap_param_info_t> infos_;
    bool active_ = false;
    int64_t steadyTime_ = 0;
};

// A value flushed outside process() reads back at once, and takes effect
// at the next block's first frame as one sent there does.
void checkFlush(const Format& format) {
    std::unique_ptr<Instance> a = format.create(), b = format.create();
    const ParameterChange cutoff{0, 20};  // Unit 1 Cutoff
    double value = -1;
    std::vector<float> la(512), ra(512), lb(512), rb(512);
    const std::vector<MidiAt> key = {{0, {0x90, 45, 100}}};
    if (!a || !b || !a->activate(44100, 512) || !b->activate(44100, 512)) return fail("flush: no instance started");
    static_cast<ClapInstance&>(*a).flush(cutoff);
    if (!a->parameterValue(cutoff.index, value) || value != cutoff.value) fail("flush: the value does not read back at once");
    if (!a->process(la.data(), ra.data(), 512, key, {}) || !b->process(lb.data(), rb.data(), 512, key, {cutoff}) || la != lb || ra != rb)
        fail("flush: the value does not sound from the next block's first frame");
}

void run(const Library& library, const std::string& path, const std::string& patternFile, bool realtime) {
    const auto* entry = static_cast<const clap_plugin_entry_t*>(library.symbol("clap_entry"));
    if (!entry || !clap_version_is_compatible(entry->clap_version) || !entry->init(path.c_str()))
        return fail(path + " has no CLAP entry that starts");
    const auto* factory = static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    const clap_plugin_descriptor_t* d = factory && factory->get_plugin_count(factory) == 1 ? factory->get_plugin_descriptor(factory, 0) : nullptr;
    if (!d || std::strcmp(d->id, kPluginId) != 0) {
        fail(path + " does not hold the one plugin " + kPluginId);
    } else {
        if (!d->version || std::strcmp(d->version, VELMOR_VERSION_TEXT) != 0) fail("the plugin does not give its version");
        bool noteEvents = false;  // notes as CLAP note events rather than MIDI
        const Format format{[&]() -> std::unique_ptr<Instance> {
                                const clap_plugin_t* plugin = factory->create_plugin(factory, &kHost, kPluginId);
                                if (plugin && plugin->init(plugin)) return std::make_unique<ClapInstance>(plugin, noteEvents);
                                if (plugin) plugin->destroy(plugin);
                                return nullptr;
                            },
                            1};
        if (editorAsked().any()) {
#ifdef VELMOR_EDITOR_CHECKS
            runAskedEditorChecks(format);
#endif
        } else if (realtime) {
            runRealtimeChecks(format);
        } else {
            runChecks(format, patternFile);
            checkFlush(format);
            noteEvents = true;
            checkNotes(format, "notes as CLAP note events", {512});
        }
    }
    entry->deinit();
}

}  // namespace
}  // namespace velmor::hosttest

int main(int argc, char** argv) {
    return velmor::hosttest::hostMain(argc, argv, "velmor-clap-host [--realtime] PLUGIN.clap [PATTERN_FILE]", velmor::hosttest::run);
}
