#pragma once
// The plugin's parameters: one table, each row with the id hosts' projects
// name it by (saved automation; the CLAP id is 1 + id, the VST3 id
// 2082 + id), its LV2 symbol (saved states name values by it), its names,
// and the control it drives: a per-unit control of the main window for
// units 1 to 4, tempo, master volume, the delay and swing, "Sequencer"
// (Off / Follow Host), "Units" (the units in use, 1 to 4: a unit brought
// into use starts with the start-up settings) or a unit's "Local Off" (On:
// the unit is not heard, its notes still go out). A parameter added later
// takes the next id; no id ever changes. The ranges, start-up values, units
// and value texts of the main window's controls are the model's
// (parameters.h).

#include <cstdint>
#include <string>
#include <string_view>

#include "model/parameters.h"

namespace velmor {

constexpr uint32_t kPluginUnits = 4;
constexpr uint32_t kSequencerParameter = 134;
constexpr uint32_t kUnitsParameter = 135;
constexpr uint32_t kFirstLocalOffParameter = 136;  // unit u's at 136 + u
constexpr uint32_t kPluginParameterCount = 140;

// What a parameter drives.
enum class PluginControl : uint8_t { kModel, kSequencer, kUnits, kLocalOff };

struct PluginParameter {
    uint32_t id;
    const char* symbol;     // "u2_cutoff", "tempo", "sequencer"
    const char* name;       // "Unit 2 Cutoff", "Tempo", "Sequencer"
    const char* shortName;  // "U2 Cutoff"
    PluginControl control;
    int unitIndex;  // 0..3, or -1 for a global parameter
    Param param;    // a model control's
    int32_t minimum, maximum, defaultValue;
    const char* unit;  // "BPM", "%" or ""
    // Choices: the name of each value from the minimum on; null for a number.
    const char* const* choices;
};

// Of an index below kPluginParameterCount; from any thread, the audio
// thread's too (it allocates nothing).
const PluginParameter& pluginParameter(uint32_t index);
// The parameter a symbol names; false for none (one of a later version).
bool pluginParameterOfSymbol(std::string_view symbol, uint32_t& index);

// Whether the pattern holds a parameter's value: "Sequencer" and "Local
// Off" are the plugin's own, which a loaded pattern leaves as they are and
// an edit of the model never changes.
bool parameterInPattern(uint32_t index);

// The parameter of a main window's control for a unit (0..3; a global
// control's own).
uint32_t pluginIndexOf(int unit, Param param);

// The main window's text of a value ("120 BPM", "Lo24", "2 Steps").
std::string parameterText(uint32_t index, int32_t value);
// The value of such a text (in any case), or of a number, kept within the
// range; false for neither.
bool parameterValueOfText(uint32_t index, const char* text, int32_t& value);

}  // namespace velmor
