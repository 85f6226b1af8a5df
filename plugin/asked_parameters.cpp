#include "plugin/asked_parameters.h"

#include "plugin/plugin_parameters.h"

namespace velmor {

AskedParameters::AskedParameters()
    : values_(new std::atomic<float>[kPluginParameterCount]), waiting_(new std::atomic<bool>[kPluginParameterCount]) {
    for (uint32_t i = 0; i < kPluginParameterCount; ++i) waiting_[i] = false;
}

void AskedParameters::ask(uint32_t index, float value) {
    if (index >= kPluginParameterCount) return;
    values_[index].store(value, std::memory_order_relaxed);
    waiting_[index].store(true, std::memory_order_release);
}

float AskedParameters::shown(const PluginCore& core, uint32_t index) const {
    if (index < kPluginParameterCount && waiting_[index].load(std::memory_order_acquire))
        return values_[index].load(std::memory_order_relaxed);
    return core.parameterValue(index);
}

uint32_t AskedParameters::take(HostEvent* out, uint32_t capacity) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < kPluginParameterCount && count < capacity; ++i) {
        if (!waiting_[i].exchange(false, std::memory_order_acquire)) continue;
        HostEvent& e = out[count++];
        e = HostEvent{};
        e.isParameter = true;
        e.parameter = i;
        e.value = values_[i].load(std::memory_order_relaxed);
    }
    return count;
}

}  // namespace velmor
