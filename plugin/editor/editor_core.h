#pragma once
// The plugin core an editor shows, from the instance its format hands the
// editor: each plugin binary defines it once.

#include "plugin/plugin_core.h"

namespace velmor {

PluginCore& editorCore(void* instance);

}  // namespace velmor
