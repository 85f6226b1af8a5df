#pragma once
// The plugin's parameters: every per-unit control of the main window for
// units 1 to 4, then tempo, master volume, the delay and swing, then
// "Sequencer" (Off / Follow Host) and "Units" (the units in use, 1 to 4: a
// unit brought into use starts with the start-up settings). Names, ranges
// and value texts are the main window's; a value is the model's
// (parameters.h).

#include <cstdint>
#include <string>

#include "model/parameters.h"

namespace velmor {

constexpr uint32_t kPluginUnits = 4;
constexpr uint32_t kParamsPerUnit = static_cast<uint32_t>(Param::kSync) + 1;  // 32
constexpr uint32_t kFirstGlobalParameter = kPluginUnits * kParamsPerUnit;    // 128
constexpr uint32_t kSequencerParameter =
    kFirstGlobalParameter + static_cast<uint32_t>(Param::kSwing) - static_cast<uint32_t>(Param::kTempo) + 1;
constexpr uint32_t kUnitsParameter = kSequencerParameter + 1;
constexpr uint32_t kPluginParameterCount = kUnitsParameter + 1;

struct PluginParameter {
    std::string name;       // "Unit 2 Cutoff", "Tempo", "Sequencer"
    std::string shortName;  // "U2 Cutoff"
    std::string symbol;  // "u2_cutoff", "tempo", "sequencer"
    int32_t minimum, maximum, defaultValue;
    const char* unit;  // "BPM", "%" or ""
    // Choices: the name of each value from the minimum on; null for a number.
    const char* const* choices;
    int unitIndex;  // 0..3, or -1 for a global parameter
    Param param;    // not for "Sequencer" and "Units"
};

PluginParameter pluginParameter(uint32_t index);

// The main window's text of a value ("120 BPM", "Lo24", "2 Steps").
std::string parameterText(uint32_t index, int32_t value);
// The value of such a text (in any case), or of a number, kept within the
// range; false for neither.
bool parameterValueOfText(uint32_t index, const char* text, int32_t& value);

}  // namespace velmor
