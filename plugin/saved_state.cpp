#include "plugin/saved_state.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

const std::string kStateBegin = "__dpf_state_begin__", kStateEnd = "__dpf_state_end__";
const std::string kValuesBegin = "__dpf_parameters_begin__", kValuesEnd = "__dpf_parameters_end__";
constexpr char kEnd = '\xfe';
// The parts of a later version's state named in the host's log.
constexpr size_t kSkippedNamed = 8;
// The parameters of version 1.05, which a state always lists. One added
// since ("Local Off") is listed only away from its default: a state that
// does not use it has the bytes 1.05 wrote, and one without it (1.05's)
// loads with it at its default.
constexpr uint32_t kAlwaysSaved = kFirstLocalOffParameter;

int32_t defaultOf(uint32_t index) { return pluginParameter(index).defaultValue; }

bool wholeNumber(std::string_view text, int32_t& value) {
    const std::string number(text);
    char* end = nullptr;
    const long v = std::strtol(number.c_str(), &end, 10);
    value = static_cast<int32_t>(v);
    return !number.empty() && *end == '\0';
}

// A part of the state this version does not know: "parameter 'u5_foo'",
// shown printable and not too long.
void skip(SavedState& state, const char* kind, std::string_view name) {
    if (state.skippedCount++ >= kSkippedNamed) return;
    std::string shown;
    for (char c : name.substr(0, 40)) shown += c >= ' ' && c < 127 ? c : '?';
    state.skipped += (state.skipped.empty() ? "" : ", ") + std::string(kind) + " '" + shown + (name.size() > 40 ? "...'" : "'");
}

}  // namespace

std::string saveState(const PluginCore& core, const AskedParameters& asked, const std::string& file) {
    SavedState s{file, core.state(), true, {}};
    for (uint32_t i = 0; i < kPluginParameterCount; ++i)
        if (const auto v = static_cast<int32_t>(std::lround(asked.shown(core, i))); i < kAlwaysSaved || v != defaultOf(i))
            s.values.emplace_back(i, v);
    return stateBytes(s);
}

bool loadState(const std::string& bytes, PluginCore& core, AskedParameters& asked, std::string& file) {
    SavedState s;
    std::string why = "it is cut short or is no Velmor state";
    if (!readStateBytes(bytes, s) || !core.loadState(s.pattern, why)) {
        std::fprintf(stderr, "Velmor: the state was not loaded, %s\n", why.c_str());
        return false;
    }
    if (s.skippedCount > 0)
        std::fprintf(
            stderr, "Velmor: the state holds parts this version does not know, skipped: %s%s\n", s.skipped.c_str(),
            s.skippedCount > kSkippedNamed ? (" and " + std::to_string(s.skippedCount - kSkippedNamed) + " more").c_str() : "");
    file = s.file;
    for (uint32_t i = kAlwaysSaved; i < kPluginParameterCount; ++i) asked.ask(i, static_cast<float>(defaultOf(i)));
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
    // The texts before the end mark, each ending in a zero byte.
    size_t at = 0;
    const auto next = [&bytes, &at, end](std::string_view& text) {
        if (at >= end) return false;
        const size_t zero = bytes.find('\0', at);
        text = std::string_view(bytes).substr(at, zero - at);
        at = zero + 1;
        return true;
    };
    const std::string* section = nullptr;  // the one open, by its end
    std::string_view key, value;
    while (next(key)) {
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
        if (!next(value)) return false;
        uint32_t index = 0;
        int32_t number = 0;
        if (section == &kStateEnd) {
            if (key == "pattern")
                state.pattern.assign(value), state.hasPattern = true;
            else if (key == "file")
                state.file.assign(value);
            else
                skip(state, "key", key);
        } else if (section == &kValuesEnd) {
            if (!pluginParameterOfSymbol(key, index))
                skip(state, "parameter", key);
            else if (!wholeNumber(value, number))
                return false;
            else
                state.values.emplace_back(index, number);
        }
        // Outside them (a program number): not for this plugin.
    }
    return !section && state.hasPattern;
}

}  // namespace velmor
