// The VST3 plugin's edit controller: the parameters as hosts see them, and
// the MIDI controllers hosts send as parameters. Values reach the sound
// only through the processor's blocks (vst3_events.h), each at its frame.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "plugin/plugin_parameters.h"
#include "plugin/vst3/vst3_events.h"
#include "plugin/vst3/vst3_instance.h"
#ifdef VELMOR_EDITOR
#include "plugin/vst3/vst3_view.h"
#endif

namespace velmor {

namespace {

constexpr int kSteps = 16;
constexpr double kMostLatency = 3840000;  // the largest latency a value can say

bool coreIndex(v3_param_id id, uint32_t& index) {
    if (id < kFirstCoreId || id - kFirstCoreId >= kPluginParameterCount) return false;
    index = id - kFirstCoreId;
    return true;
}

std::string textOf(const int16_t* from) {
    std::string s;
    for (int i = 0; i < 128 && from[i]; ++i) {
        const auto u = static_cast<uint16_t>(from[i]);
        if (u < 0x80)
            s += static_cast<char>(u);
        else if (u < 0x800)
            s += static_cast<char>(0xC0 | u >> 6), s += static_cast<char>(0x80 | (u & 0x3F));
        else
            s += static_cast<char>(0xE0 | u >> 12), s += static_cast<char>(0x80 | (u >> 6 & 0x3F)),
                s += static_cast<char>(0x80 | (u & 0x3F));
    }
    return s;
}

v3_result V3_API initialize(void*, v3_funknown**) { return V3_OK; }
v3_result V3_API terminate(void*) { return V3_OK; }

// The component holds the state; the controller has none of its own.
v3_result V3_API setComponentState(void*, v3_bstream**) { return V3_OK; }
v3_result V3_API setState(void*, v3_bstream**) { return V3_OK; }
v3_result V3_API getState(void*, v3_bstream**) { return V3_OK; }

int32_t V3_API parameterCount(void*) { return static_cast<int32_t>(kFirstCoreId + kPluginParameterCount); }

v3_result V3_API parameterInfo(void*, int32_t at, v3_param_info* info) {
    if (at < 0 || at >= parameterCount(nullptr) || !info) return V3_INVALID_ARG;
    *info = v3_param_info{};
    const auto id = static_cast<v3_param_id>(at);
    info->param_id = id;
    uint32_t index = 0;
    if (coreIndex(id, index)) {
        const PluginParameter& p = pluginParameter(index);
        info->flags = V3_PARAM_CAN_AUTOMATE | (p.choices ? V3_PARAM_IS_LIST : 0);
        info->step_count = p.maximum - p.minimum;
        info->default_normalised_value = normalisedValue(index, p.defaultValue);
        copyText(info->title, p.name);
        copyText(info->short_title, p.shortName);
        copyText(info->units, p.unit);
    } else if (id == kStepId) {
        info->flags = V3_PARAM_READ_ONLY;
        info->step_count = kSteps - 1;
        copyText(info->title, "Step");
    } else if (id == kLatencyId) {
        info->flags = V3_PARAM_READ_ONLY | V3_PARAM_IS_HIDDEN;
        copyText(info->title, "Latency");
        copyText(info->short_title, "Latency");
        copyText(info->units, "frames");
    } else {
        const uint32_t c = id - kFirstControllerId;
        info->flags = V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_HIDDEN;
        info->step_count = 127;
        const std::string channel = std::to_string(c / kControllersPerChannel + 1),
                          number = std::to_string(c % kControllersPerChannel);
        copyText(info->title, "MIDI Ch. " + channel + " CC " + number);
        copyText(info->short_title, "CC" + number);
    }
    return V3_OK;
}

double V3_API toPlain(void*, v3_param_id id, double normalised) {
    uint32_t index = 0;
    normalised = std::clamp(normalised, 0.0, 1.0);
    if (coreIndex(id, index)) return plainValue(index, normalised);
    if (id == kStepId) return 1 + std::round(normalised * (kSteps - 1));
    if (id == kLatencyId) return normalised * kMostLatency;
    return std::round(normalised * 127);
}

double V3_API toNormalised(void*, v3_param_id id, double plain) {
    uint32_t index = 0;
    if (coreIndex(id, index)) return normalisedValue(index, plain);
    if (id == kStepId) return std::clamp((plain - 1) / (kSteps - 1), 0.0, 1.0);
    if (id == kLatencyId) return std::clamp(plain / kMostLatency, 0.0, 1.0);
    return std::clamp(plain / 127, 0.0, 1.0);
}

v3_result V3_API textForValue(void* face, v3_param_id id, double normalised, v3_str_128 out) {
    uint32_t index = 0;
    if (id >= static_cast<v3_param_id>(parameterCount(face))) return V3_INVALID_ARG;
    const auto plain = static_cast<int32_t>(std::lround(toPlain(face, id, normalised)));
    copyText(out, sizeof(v3_str_128) / sizeof(int16_t),
             coreIndex(id, index) ? parameterText(index, plain) : std::to_string(plain));
    return V3_OK;
}

v3_result V3_API valueForText(void*, v3_param_id id, int16_t* text, double* out) {
    uint32_t index = 0;
    int32_t value = 0;
    if (!text || !out || !coreIndex(id, index) || !parameterValueOfText(index, textOf(text).c_str(), value))
        return V3_INVALID_ARG;
    *out = normalisedValue(index, value);
    return V3_OK;
}

double V3_API normalisedNow(void* face, v3_param_id id) {
    const Vst3Instance& v = instanceOf(face);
    uint32_t index = 0;
    if (coreIndex(id, index)) return normalisedValue(index, v.asked.shown(*v.core, index));
    if (id == kStepId) return toNormalised(face, id, v.step.load(std::memory_order_relaxed));
    if (id == kLatencyId) return toNormalised(face, id, v.core->latency());
    return 0;
}

// What the host shows; the sound follows the processor's blocks.
v3_result V3_API setNormalised(void* face, v3_param_id id, double normalised) {
    return id < static_cast<v3_param_id>(parameterCount(face)) && normalised >= 0 && normalised <= 1 ? V3_OK : V3_INVALID_ARG;
}

v3_result V3_API setHandler(void* face, v3_component_handler** handler) {
    instanceOf(face).handler = handler;
    return V3_OK;
}

#ifdef VELMOR_EDITOR
v3_plugin_view** V3_API createView(void* face, const char* name) { return createEditorView(instanceOf(face), name); }
#else
v3_plugin_view** V3_API createView(void*, const char*) { return nullptr; }
#endif

v3_result V3_API controllerAssignment(void*, int32_t bus, int16_t channel, int16_t controller, v3_param_id* id) {
    if (bus != 0 || channel < 0 || channel > 15 || controller < 0 || controller >= static_cast<int16_t>(kControllersPerChannel) ||
        !id)
        return V3_FALSE;
    *id = kFirstControllerId + channel * kControllersPerChannel + controller;
    return V3_TRUE;
}

}  // namespace

void copyText(int16_t* to, size_t size, const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size() && n + 1 < size;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const int length = c < 0x80 ? 1 : c >= 0xE0 ? 3 : 2;
        uint32_t unit = length == 1 ? c : length == 2 ? c & 0x1F : c & 0x0F;
        for (int k = 1; k < length && i + k < text.size(); ++k) unit = unit << 6 | (text[i + k] & 0x3F);
        to[n++] = static_cast<int16_t>(unit);
        i += length;
    }
    to[n] = 0;
}

const v3_edit_controller_cpp kControllerFunctions = {
    {queryInterface, addReference, release},
    {initialize, terminate},
    {setComponentState, setState, getState, parameterCount, parameterInfo, textForValue, valueForText, toPlain, toNormalised,
     normalisedNow, setNormalised, setHandler, createView}};

const v3_midi_mapping_cpp kMidiMappingFunctions = {{queryInterface, addReference, release}, {controllerAssignment}};

}  // namespace velmor
