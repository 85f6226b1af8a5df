#pragma once
// The host's events and transport of one block, as the plugin core takes
// them.

#include <cstdint>

#include "clap/events.h"
#include "plugin/plugin_core.h"

namespace velmor {

// A parameter value event's core parameter and value; false for any other
// event, and for the read-only "Step".
bool parameterEvent(const clap_event_header_t* event, uint32_t& index, float& value);

// The block's notes, MIDI messages and parameter changes in the host's
// order, each at its frame, appended to the `count` events `out` holds;
// returns the new count. Other events are not for the core.
uint32_t appendHostEvents(const clap_input_events_t* in, HostEvent* out, uint32_t count, uint32_t capacity);

// Where the host's transport stands at the block's first frame.
HostTime hostTime(const clap_event_transport_t* transport);

}  // namespace velmor
