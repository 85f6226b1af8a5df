#pragma once
// The CLAP plugin's state in a host's project (saved_state.h).

#include "clap/ext/state.h"

namespace velmor {

extern const clap_plugin_state_t kClapState;

}  // namespace velmor
