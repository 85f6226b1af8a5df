#pragma once
// Parameter values a host sets outside the audio thread's block (a loaded
// state, a change from its interface): each waits for the next block's
// first frame and reads back at once. Lock-free; one slot a parameter, the
// latest value winning.

#include <atomic>
#include <cstdint>
#include <memory>

#include "plugin/plugin_core.h"

namespace velmor {

class AskedParameters {
public:
    AskedParameters();

    // From any thread but the audio thread in its block.
    void ask(uint32_t index, float value);
    // The value hosts see: the one asked for while it waits, else the core's.
    float shown(const PluginCore& core, uint32_t index) const;
    // The audio thread: the values asked for since the last block, as
    // events at its first frame; returns how many were written.
    uint32_t take(HostEvent* out, uint32_t capacity);

private:
    std::unique_ptr<std::atomic<float>[]> values_;
    std::unique_ptr<std::atomic<bool>[]> waiting_;
};

}  // namespace velmor
