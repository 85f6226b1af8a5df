#pragma once
// What a VST3 host's process call brings, as the plugin core takes it, and
// the notes the core sends back.

#include <cstdint>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "travesty/audio_processor.h"

namespace velmor {

// The block's events after the `count` already in `out`: every point of
// every parameter change at its frame, the MIDI controllers the host sends
// as parameters (midi_mapping) and the keys, as MIDI messages at theirs;
// then all in frame order, parameters before messages at one frame.
// Returns the new count.
uint32_t appendHostEvents(const v3_process_data& data, HostEvent* out, uint32_t count, uint32_t capacity);

// Changes sent in a call without frames (a flush) wait for the next block.
void askParameterChanges(v3_param_changes** changes, AskedParameters& asked);

// The plain value of a core parameter at a normalised one (0..1).
float plainValue(uint32_t index, double normalised);
double normalisedValue(uint32_t index, double plain);

HostTime hostTime(const v3_process_context* context);

// The sequencer's notes of the block into the host's output event list.
void sendNotes(const PluginCore& core, v3_event_list** out);

}  // namespace velmor
