#include "plugin/plugin_parameters.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace velmor {

namespace {

const char* const kSequencerChoices[] = {"Off", "Follow Host"};

// "FM (1->2)" gives "fm_1_2": letters and digits, the rest one underscore.
std::string symbolOf(const std::string& name) {
    std::string symbol;
    for (char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) symbol += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        else if (!symbol.empty() && symbol.back() != '_') symbol += '_';
    }
    while (!symbol.empty() && symbol.back() == '_') symbol.pop_back();
    return symbol;
}

const char* unitText(ValueText t) {
    switch (t) {
        case ValueText::kBpm: return "BPM";
        case ValueText::kPercent: return "%";
        default: return "";
    }
}

bool sameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

}  // namespace

PluginParameter pluginParameter(uint32_t index) {
    if (index == kUnitsParameter) return {"Units", "Units", "units", 1, kPluginUnits, 1, "", nullptr, -1, Param::kTempo};
    if (index >= kSequencerParameter)
        return {"Sequencer", "Sequencer", "sequencer", 0, 1, 0, "", kSequencerChoices, -1, Param::kTempo};
    const bool perUnit = index < kFirstGlobalParameter;
    const int unit = perUnit ? static_cast<int>(index / kParamsPerUnit) : -1;
    const Param id = perUnit ? static_cast<Param>(index % kParamsPerUnit)
                             : static_cast<Param>(static_cast<uint32_t>(Param::kTempo) + index - kFirstGlobalParameter);
    const ParameterSpec& p = parameterSpec(id);
    std::string name(p.name), shortName(p.name), symbol = symbolOf(p.name);
    if (perUnit) {
        const std::string n = std::to_string(unit + 1);
        name.insert(0, "Unit " + n + " ");
        shortName.insert(0, "U" + n + " ");
        symbol.insert(0, "u" + n + "_");
    }
    return {name, shortName, symbol, p.minimum, p.maximum, p.startUp, unitText(p.text), p.choices, unit, id};
}

std::string parameterText(uint32_t index, int32_t value) {
    const PluginParameter p = pluginParameter(index);
    if (index < kSequencerParameter) return valueText(p.param, value);
    if (p.choices && value >= p.minimum && value <= p.maximum) return p.choices[value - p.minimum];
    return std::to_string(value);
}

bool parameterValueOfText(uint32_t index, const char* text, int32_t& value) {
    const PluginParameter p = pluginParameter(index);
    for (int32_t v = p.minimum; v <= p.maximum; ++v)
        if (sameText(text, parameterText(index, v).c_str())) return value = v, true;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (end == text) return false;
    value = static_cast<int32_t>(std::clamp<long>(v, p.minimum, p.maximum));
    return true;
}

}  // namespace velmor
