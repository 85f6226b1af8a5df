#pragma once
// The parameters as CLAP hosts see them: descriptions, values and their
// texts. A value set outside process() waits for the next block
// (ClapInstance::asked).

#include <cstdint>

#include "clap/ext/params.h"
#include "plugin/clap/clap_instance.h"

namespace velmor {

extern const clap_plugin_params_t kClapParams;

}  // namespace velmor
