#pragma once
// The program's window: the plugin's editor as a window of its own, at the
// system's scale, until it is closed or `quit` is set.

#include <atomic>

#include "plugin/asked_parameters.h"
#include "plugin/plugin_core.h"

namespace velmor {

void runWindow(PluginCore& core, AskedParameters& asked, const std::atomic<bool>& quit);

}  // namespace velmor
