#pragma once
// What the program played when it was last quit, kept as a pattern file
// (editor_settings.h's sessionFile): restored at the start, kept at
// quitting with the bytes "Save Pattern..." writes. The main thread.

#include <string>

#include "plugin/plugin_core.h"

namespace velmor {

// No file: nothing to restore, true. A file that cannot be read changes
// nothing, is kept aside as NAME-unreadable.pat (lest quitting write over
// it) and says so in `why`: false.
bool restoreSession(PluginCore& core, const std::string& path, std::string& why);
// A failed write leaves the file there was as it was.
bool keepSession(PluginCore& core, const std::string& path, std::string& why);

}  // namespace velmor
