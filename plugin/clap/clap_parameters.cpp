#include "plugin/clap/clap_parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "model/parameters.h"
#include "plugin/clap/clap_events.h"
#ifdef VELMOR_EDITOR
#include "plugin/clap/clap_gui.h"
#endif
#include "plugin/plugin_parameters.h"

namespace velmor {

namespace {

// Newer CLAP versions' CLAP_PARAM_IS_ENUM: hosts that know it offer the
// choices by name, the others ignore it.
constexpr clap_param_info_flags kParamIsEnum = 1u << 16;
constexpr int kStepCount = 16;

bool coreIndex(clap_id id, uint32_t& index) {
    if (id < kFirstCoreParameterId || id - kFirstCoreParameterId >= kPluginParameterCount) return false;
    index = id - kFirstCoreParameterId;
    return true;
}

void copyText(char* to, uint32_t size, const std::string& text) {
    if (size > 0) std::snprintf(to, size, "%s", text.c_str());
}

uint32_t CLAP_ABI count(const clap_plugin_t*) { return kFirstCoreParameterId + kPluginParameterCount; }

bool CLAP_ABI info(const clap_plugin_t*, uint32_t at, clap_param_info_t* out) {
    uint32_t index = 0;
    if (at != kStepParameterId && !coreIndex(at, index)) return false;
    *out = clap_param_info_t{};
    out->id = at;
    if (at == kStepParameterId) {
        out->flags = CLAP_PARAM_IS_READONLY | CLAP_PARAM_IS_STEPPED;
        copyText(out->name, CLAP_NAME_SIZE, "Step");
        out->min_value = out->default_value = 1;
        out->max_value = kStepCount;
        return true;
    }
    const PluginParameter& p = pluginParameter(index);
    out->flags = CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | (p.choices ? kParamIsEnum : 0);
    copyText(out->name, CLAP_NAME_SIZE, p.name);
    // Hosts that group parameters show one group a unit.
    if (p.unitIndex >= 0) copyText(out->module, CLAP_PATH_SIZE, "Unit " + std::to_string(p.unitIndex + 1));
    out->min_value = p.minimum;
    out->max_value = p.maximum;
    out->default_value = p.defaultValue;
    return true;
}

bool CLAP_ABI value(const clap_plugin_t* plugin, clap_id id, double* out) {
    const ClapInstance& v = instanceOf(plugin);
    uint32_t index = 0;
    if (id == kStepParameterId)
        *out = v.step.load(std::memory_order_relaxed);
    else if (coreIndex(id, index))
        *out = v.asked.shown(*v.core, index);
    else
        return false;
    return true;
}

bool CLAP_ABI valueToText(const clap_plugin_t*, clap_id id, double value, char* out, uint32_t size) {
    uint32_t index = 0;
    const int32_t v = static_cast<int32_t>(std::lround(value));
    if (id == kStepParameterId)
        copyText(out, size, std::to_string(v));
    else if (coreIndex(id, index))
        copyText(out, size, parameterText(index, v));
    else
        return false;
    return true;
}

// A value's text, or else a plain value.
bool CLAP_ABI textToValue(const clap_plugin_t*, clap_id id, const char* text, double* out) {
    uint32_t index = 0;
    int32_t value = 0;
    if (!text || !coreIndex(id, index) || !parameterValueOfText(index, text, value)) return false;
    *out = value;
    return true;
}

// Outside process(): the values wait for the next block.
void CLAP_ABI flush(const clap_plugin_t* plugin, const clap_input_events_t* in, const clap_output_events_t* out) {
    ClapInstance& v = instanceOf(plugin);
#ifdef VELMOR_EDITOR
    tellEditorChanges(v, out, 0);
#else
    (void)out;
#endif
    uint32_t index = 0;
    float value = 0;
    for (uint32_t i = 0, n = in ? in->size(in) : 0; i < n; ++i)
        if (parameterEvent(in->get(in, i), index, value)) v.asked.ask(index, value);
}

}  // namespace

const clap_plugin_params_t kClapParams = {count, info, value, valueToText, textToValue, flush};

}  // namespace velmor
