#include "plugin/saved_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

const std::string kStateBegin = "__dpf_state_begin__", kStateEnd = "__dpf_state_end__";
const std::string kValuesBegin = "__dpf_parameters_begin__", kValuesEnd = "__dpf_parameters_end__";
constexpr char kEnd = '\xfe';

bool wholeNumber(const std::string& text, int32_t& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    value = static_cast<int32_t>(v);
    return !text.empty() && *end == '\0';
}

}  // namespace

std::string saveState(const PluginCore& core, const AskedParameters& asked, const std::string& file) {
    SavedState s{file, core.state(), true, {}};
    for (uint32_t i = 0; i < kPluginParameterCount; ++i)
        s.values.emplace_back(i, static_cast<int32_t>(std::lround(asked.shown(core, i))));
    return stateBytes(s);
}

bool loadState(const std::string& bytes, PluginCore& core, AskedParameters& asked, std::string& file) {
    SavedState s;
    std::string why = "it is cut short or is no Velmor state";
    if (!readStateBytes(bytes, s) || !core.loadState(s.pattern, why)) {
        std::fprintf(stderr, "Velmor: the state was not loaded, %s\n", why.c_str());
        return false;
    }
    file = s.file;
    for (const auto& [index, value] : s.values) asked.ask(index, static_cast<float>(value));
    return true;
}

bool stateEnds(const char* bytes, size_t size) { return std::memchr(bytes, kEnd, size) != nullptr; }

std::string stateBytes(const SavedState& state) {
    std::string bytes;
    const auto add = [&bytes](const std::string& text) { bytes.append(text).push_back('\0'); };
    add(kStateBegin), add("file"), add(state.file), add("pattern"), add(state.pattern), add(kStateEnd);
    add(kValuesBegin);
    for (const auto& [index, value] : state.values) add(pluginParameter(index).symbol), add(std::to_string(value));
    add(kValuesEnd);
    bytes.push_back(kEnd);
    bytes.push_back('\0');
    return bytes;
}

bool readStateBytes(const std::string& bytes, SavedState& state) {
    const size_t end = bytes.find(kEnd);
    if (end == std::string::npos || (end > 0 && bytes[end - 1] != '\0')) return false;
    std::vector<std::string> texts;
    for (size_t at = 0; at < end; at = bytes.find('\0', at) + 1) texts.emplace_back(bytes.c_str() + at);
    std::vector<std::string> symbols;
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) symbols.push_back(pluginParameter(i).symbol);
    const std::string* section = nullptr;  // the one open, by its end
    for (size_t i = 0; i < texts.size();) {
        const std::string& key = texts[i++];
        if (key == kStateBegin || key == kValuesBegin) {
            if (section) return false;
            section = key == kStateBegin ? &kStateEnd : &kValuesEnd;
            continue;
        }
        if (key == kStateEnd || key == kValuesEnd) {
            if (!section || *section != key) return false;
            section = nullptr;
            continue;
        }
        if (i == texts.size()) return false;
        const std::string& value = texts[i++];
        if (section == &kStateEnd && key == "pattern") state.pattern = value, state.hasPattern = true;
        if (section == &kStateEnd && key == "file") state.file = value;
        for (uint32_t p = 0; section == &kValuesEnd && p < kPluginParameterCount; ++p) {
            int32_t number = 0;
            if (symbols[p] != key) continue;
            if (!wholeNumber(value, number)) return false;
            state.values.emplace_back(p, number);
        }
        // Anything else (a program number) is not for this plugin.
    }
    return !section && state.hasPattern;
}

}  // namespace velmor
