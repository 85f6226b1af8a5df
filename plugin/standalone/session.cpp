#include "plugin/standalone/session.h"

#include <filesystem>

#include "plugin/editor/editor_presets.h"

namespace velmor {

bool restoreSession(PluginCore& core, const std::string& path, std::string& why) {
    std::error_code failed;
    if (!std::filesystem::exists(path, failed)) return true;
    if (core.loadPatternFile(path.c_str(), why)) return true;
    const std::filesystem::path aside =
        std::filesystem::path(path).replace_filename(std::filesystem::path(path).stem().string() + "-unreadable.pat");
    std::filesystem::rename(path, aside, failed);
    why = "the last session was not restored (" + why + "); " +
          (failed ? "it could not be kept aside either" : "it is kept as " + aside.string());
    return false;
}

bool keepSession(PluginCore& core, const std::string& path, std::string& why) {
    if (path.empty()) return why = "the session is not kept: there is no home folder", false;
    if (!savePatternFile(core, path.c_str(), why)) return why = "the session was not kept: " + why, false;
    return true;
}

}  // namespace velmor
