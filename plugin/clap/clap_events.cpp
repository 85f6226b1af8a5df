#include "plugin/clap/clap_events.h"

#include <algorithm>

#include "clap/fixedpoint.h"
#include "plugin/clap/clap_instance.h"
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

template <class Event>
const Event* coreEvent(const clap_event_header_t* e, uint16_t type) {
    if (!e || e->space_id != CLAP_CORE_EVENT_SPACE_ID || e->type != type || e->size < sizeof(Event)) return nullptr;
    return reinterpret_cast<const Event*>(e);
}

// A note as the MIDI message the core takes.
bool noteMessage(const clap_event_header_t* e, HostEvent& out) {
    const bool on = e->type == CLAP_EVENT_NOTE_ON;
    const auto* n = coreEvent<clap_event_note_t>(e, on ? CLAP_EVENT_NOTE_ON : CLAP_EVENT_NOTE_OFF);
    return n && noteEvent(e->time, on, n->channel, n->key, n->velocity, out);
}

}  // namespace

bool parameterEvent(const clap_event_header_t* event, uint32_t& index, float& value) {
    const auto* p = coreEvent<clap_event_param_value_t>(event, CLAP_EVENT_PARAM_VALUE);
    if (!p || p->param_id < kFirstCoreParameterId || p->param_id - kFirstCoreParameterId >= kPluginParameterCount) return false;
    index = p->param_id - kFirstCoreParameterId;
    value = static_cast<float>(p->value);
    return true;
}

uint32_t appendHostEvents(const clap_input_events_t* in, HostEvent* out, uint32_t count, uint32_t capacity) {
    for (uint32_t i = 0, n = in ? in->size(in) : 0; i < n && count < capacity; ++i) {
        const clap_event_header_t* e = in->get(in, i);
        if (!e) continue;
        HostEvent h;
        if (parameterEvent(e, h.parameter, h.value)) {
            h.isParameter = true;
        } else if (const auto* m = coreEvent<clap_event_midi_t>(e, CLAP_EVENT_MIDI)) {
            h.size = 3;
            std::copy(m->data, m->data + 3, h.midi);
        } else if (!noteMessage(e, h)) {
            continue;
        }
        h.frame = e->time;
        out[count++] = h;
    }
    return count;
}

HostTime hostTime(const clap_event_transport_t* t) {
    HostTime h;
    if (!t) return h;
    h.playing = (t->flags & CLAP_TRANSPORT_IS_PLAYING) && !(t->flags & CLAP_TRANSPORT_IS_WITHIN_PRE_ROLL);
    // A beat is a quarter note, given to 1/2^31 of a beat: to far less than
    // a frame, so that no frame is needed beside it (nor could the seconds
    // CLAP gives be trusted to be the host's frame exactly).
    h.valid = (t->flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0;
    h.sixteenths = 4.0 * static_cast<double>(t->song_pos_beats) / static_cast<double>(CLAP_BEATTIME_FACTOR);
    h.tempoKnown = (t->flags & CLAP_TRANSPORT_HAS_TEMPO) != 0;
    if (h.tempoKnown) h.beatsPerMinute = t->tempo;
    return h;
}

}  // namespace velmor
