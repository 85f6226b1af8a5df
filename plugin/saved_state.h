#pragma once
// The plugin's state in a host's project, in the layout the CLAP and VST3
// plugins have always saved (that of the plugin framework they were first
// built with):
// texts, each ending in a zero byte, where the state's keys and values
// ("file", "pattern") stand between "__dpf_state_begin__" and
// "__dpf_state_end__", each parameter's symbol and whole value between
// "__dpf_parameters_begin__" and "__dpf_parameters_end__" (one added since
// 1.05 only away from its default); a 0xFE byte and a zero byte end it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmor {

struct SavedState {
    std::string file;     // a pattern file's path, saved again as a loaded state had it
    std::string pattern;  // PluginCore::state()
    bool hasPattern = false;
    std::vector<std::pair<uint32_t, int32_t>> values;  // (core parameter, value)
    // What a later version's state holds that this one does not know,
    // read past: "key 'x', parameter 'u5_foo'" (the first few), and how
    // many parts.
    std::string skipped{};
    size_t skippedCount = 0;
};

std::string stateBytes(const SavedState& state);
// False, leaving `state` in doubt, when the bytes are cut short, hold no
// pattern or are no such state. Keys of the state and parameters this
// version does not know are skipped.
bool readStateBytes(const std::string& bytes, SavedState& state);

class AskedParameters;
class PluginCore;

// The instance's state: `file` and the core's pattern, with the
// parameters' values as hosts see them.
std::string saveState(const PluginCore& core, const AskedParameters& asked, const std::string& file);
// Loads a state into the core, its values waiting for the next block, and
// sets `file`; a state that cannot be read changes nothing and says why in
// the host's log, as it says what it skipped of a later version's state.
bool loadState(const std::string& bytes, PluginCore& core, AskedParameters& asked, std::string& file);

// Whether `bytes` hold the state's end mark: a host's stream is read up to
// it.
bool stateEnds(const char* bytes, size_t size);
// A state is never longer: a pattern file holds a few hundred kilobytes.
constexpr size_t kMostStateBytes = 64u << 20;

}  // namespace velmor
