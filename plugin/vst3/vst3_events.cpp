#include "plugin/vst3/vst3_events.h"

#include <algorithm>
#include <cmath>

#include "plugin/plugin_parameters.h"
#include "plugin/vst3/vst3_instance.h"
#include "travesty/events.h"

namespace velmor {

namespace {

HostEvent midiAt(int32_t frame, uint8_t status, uint8_t data1, uint8_t data2, uint8_t size = 3) {
    HostEvent e;
    e.frame = frame > 0 ? static_cast<uint32_t>(frame) : 0;
    e.size = size;
    e.midi[0] = status, e.midi[1] = data1, e.midi[2] = data2;
    return e;
}

uint8_t seven(double normalised) { return static_cast<uint8_t>(std::lround(std::clamp(normalised, 0.0, 1.0) * 127)); }

// A key as the MIDI message the core takes.
bool keyMessage(const v3_event& e, HostEvent& out) {
    const auto frame = static_cast<uint32_t>(std::max(e.sample_offset, 0));
    if (e.type == V3_EVENT_NOTE_ON) return noteEvent(frame, true, e.note_on.channel, e.note_on.pitch, e.note_on.velocity, out);
    if (e.type == V3_EVENT_NOTE_OFF)
        return noteEvent(frame, false, e.note_off.channel, e.note_off.pitch, e.note_off.velocity, out);
    return false;
}

// A MIDI controller sent as a parameter (ids from kFirstControllerId on).
HostEvent controllerMessage(v3_param_id id, int32_t frame, double normalised) {
    const uint32_t index = id - kFirstControllerId;
    const auto channel = static_cast<uint8_t>(index / kControllersPerChannel);
    const uint32_t controller = index % kControllersPerChannel;
    if (controller == 128) return midiAt(frame, 0xD0 | channel, seven(normalised), 0, 2);
    if (controller == 129) {
        const int bend = std::min(16383, static_cast<int>(std::lround(std::clamp(normalised, 0.0, 1.0) * 16383)));
        return midiAt(frame, 0xE0 | channel, bend & 0x7F, static_cast<uint8_t>(bend >> 7));
    }
    return midiAt(frame, 0xB0 | channel, static_cast<uint8_t>(controller), seven(normalised));
}

bool isCore(v3_param_id id) { return id >= kFirstCoreId && id - kFirstCoreId < kPluginParameterCount; }
bool isController(v3_param_id id) { return id >= kFirstControllerId && id < kStepId; }

}  // namespace

float plainValue(uint32_t index, double normalised) {
    const PluginParameter& p = pluginParameter(index);
    return static_cast<float>(std::lround(p.minimum + std::clamp(normalised, 0.0, 1.0) * (p.maximum - p.minimum)));
}

double normalisedValue(uint32_t index, double plain) {
    const PluginParameter& p = pluginParameter(index);
    return std::clamp((plain - p.minimum) / (p.maximum - p.minimum), 0.0, 1.0);
}

uint32_t appendHostEvents(const v3_process_data& data, HostEvent* out, uint32_t count, uint32_t capacity) {
    const uint32_t first = count;
    if (v3_param_changes** changes = data.input_params) {
        for (int32_t i = 0, n = v3_cpp_obj(changes)->get_param_count(changes); i < n; ++i) {
            v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, i);
            if (!queue) continue;
            const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
            if (!isCore(id) && !isController(id)) continue;
            for (int32_t k = 0, points = v3_cpp_obj(queue)->get_point_count(queue); k < points && count < capacity; ++k) {
                int32_t frame = 0;
                double value = 0;
                if (v3_cpp_obj(queue)->get_point(queue, k, &frame, &value) != V3_OK) break;
                if (isController(id)) {
                    out[count++] = controllerMessage(id, frame, value);
                    continue;
                }
                HostEvent& e = out[count++];
                e = HostEvent{};
                e.frame = frame > 0 ? static_cast<uint32_t>(frame) : 0;
                e.isParameter = true;
                e.parameter = id - kFirstCoreId;
                e.value = plainValue(e.parameter, value);
            }
        }
    }
    if (v3_event_list** list = data.input_events) {
        v3_event e{};
        for (uint32_t i = 0, n = v3_cpp_obj(list)->get_event_count(list); i < n && count < capacity; ++i)
            if (v3_cpp_obj(list)->get_event(list, static_cast<int32_t>(i), &e) == V3_OK && keyMessage(e, out[count])) ++count;
    }
    // Each queue and the key list come in frame order: a few passes merge
    // them, and what stands at one frame keeps its order.
    for (uint32_t i = first + 1; i < count; ++i)
        for (uint32_t k = i; k > first && out[k - 1].frame > out[k].frame; --k) std::swap(out[k - 1], out[k]);
    return count;
}

void askParameterChanges(v3_param_changes** changes, AskedParameters& asked) {
    if (!changes) return;
    for (int32_t i = 0, n = v3_cpp_obj(changes)->get_param_count(changes); i < n; ++i) {
        v3_param_value_queue** queue = v3_cpp_obj(changes)->get_param_data(changes, i);
        if (!queue) continue;
        const v3_param_id id = v3_cpp_obj(queue)->get_param_id(queue);
        const int32_t points = v3_cpp_obj(queue)->get_point_count(queue);
        int32_t frame = 0;
        double value = 0;
        if (isCore(id) && points > 0 && v3_cpp_obj(queue)->get_point(queue, points - 1, &frame, &value) == V3_OK)
            asked.ask(id - kFirstCoreId, plainValue(id - kFirstCoreId, value));
    }
}

HostTime hostTime(const v3_process_context* c) {
    HostTime h;
    if (!c) return h;
    h.playing = (c->state & V3_PROCESS_CTX_PLAYING) != 0;
    // The musical position in quarter notes, whatever the time signature.
    h.valid = (c->state & V3_PROCESS_CTX_PROJECT_TIME_VALID) != 0;
    h.sixteenths = 4.0 * c->project_time_quarters;
    h.tempoKnown = (c->state & V3_PROCESS_CTX_TEMPO_VALID) != 0;
    if (h.tempoKnown) h.beatsPerMinute = c->bpm;
    // The position in frames is always given.
    h.frameValid = true;
    h.frame = c->project_time_in_samples;
    return h;
}

void sendNotes(const PluginCore& core, v3_event_list** out) {
    if (!out) return;
    for (const SentMessage& m : core.notesOut()) {
        v3_event e{};
        e.sample_offset = static_cast<int32_t>(m.frame);
        const auto channel = static_cast<int16_t>(m.bytes[0] & 15);
        const float velocity = m.bytes[2] / 127.0f;
        if ((m.bytes[0] & 0xF0) == 0x90)
            e.type = V3_EVENT_NOTE_ON, e.note_on = {channel, m.bytes[1], 0, velocity, 0, -1};
        else
            e.type = V3_EVENT_NOTE_OFF, e.note_off = {channel, m.bytes[1], velocity, -1, 0};
        v3_cpp_obj(out)->add_event(out, &e);
    }
}

}  // namespace velmor
