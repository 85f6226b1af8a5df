#pragma once
// The plugin's state in a host's project, in the layout the CLAP plugin has
// always saved (that of the plugin framework it was first built with):
// texts, each ending in a zero byte, where the state's keys and values
// ("file", "pattern") stand between "__dpf_state_begin__" and
// "__dpf_state_end__", each parameter's symbol and whole value between
// "__dpf_parameters_begin__" and "__dpf_parameters_end__"; a 0xFE byte and
// a zero byte end it.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "clap/ext/state.h"

namespace velmor {

struct SavedState {
    std::string file;     // a pattern file's path, saved again as a loaded state had it
    std::string pattern;  // PluginCore::state()
    bool hasPattern = false;
    std::vector<std::pair<uint32_t, int32_t>> values;  // (core parameter, value)
};

std::string stateBytes(const SavedState& state);
// False, leaving `state` in doubt, when the bytes are cut short, hold no
// pattern or are no such state.
bool readStateBytes(const std::string& bytes, SavedState& state);

extern const clap_plugin_state_t kClapState;

}  // namespace velmor
