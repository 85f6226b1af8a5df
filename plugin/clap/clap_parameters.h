#pragma once
// The parameters as CLAP hosts see them: descriptions, values and their
// texts. A value set outside process() waits for the next block.

#include <cstdint>

#include "clap/ext/params.h"
#include "plugin/clap/clap_instance.h"

namespace velmor {

extern const clap_plugin_params_t kClapParams;

// Sets the core's parameter `index` at the next block's first frame; it
// reads back at once. From any thread but the audio thread in process().
void askParameter(ClapInstance& v, uint32_t index, float value);
// The value hosts see: the one asked for while it waits.
float shownParameter(const ClapInstance& v, uint32_t index);
// The values asked for since the last block, as events at its first frame.
uint32_t takeAskedParameters(ClapInstance& v, HostEvent* out, uint32_t capacity);

}  // namespace velmor
