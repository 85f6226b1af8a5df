#include "plugin/editor/editor_presets.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "files/pattern_file.h"
#include "files/safe_file.h"
#include "plugin/editor/editor_settings.h"
#include "plugin/factory_presets.h"

namespace velmor {

namespace {

constexpr size_t kLargestPattern = size_t{4} << 20;

}  // namespace

void EditorPresets::refresh() {
    entries_.clear();
    for (const FactoryPreset& p : factoryPresets()) entries_.push_back({p.category, p.name, &p, {}});
    const std::string folder = userPresetFolder(false);
    std::error_code error;
    std::vector<std::filesystem::path> files;
    if (!folder.empty())
        for (const auto& f : std::filesystem::directory_iterator(folder, error))
            if (f.path().extension() == ".pat") files.push_back(f.path());
    std::sort(files.begin(), files.end());
    for (const auto& f : files) entries_.push_back({"User", f.stem().string(), nullptr, f.string()});
}

std::string EditorPresets::name(int index) const {
    if (index < 0 || index >= count()) return "(no preset)";
    return entries_[index].category + ": " + entries_[index].name;
}

int EditorPresets::userPreset(const std::string& name) const {
    for (int i = 0; i < count(); ++i)
        if (!entries_[i].factory && entries_[i].name == name) return i;
    return -1;
}

bool EditorPresets::load(PluginCore& core, int index, std::string& why) const {
    if (index < 0 || index >= count()) return why = "no such preset", false;
    const Entry& e = entries_[index];
    if (e.factory) return core.loadPatternBytes(e.factory->bytes, e.factory->size, "Load Preset", why);
    return loadPresetFile(core, e.path.c_str(), why);
}

bool loadPresetFile(PluginCore& core, const char* path, std::string& why) {
    // Any file reads as the older layout, which has no header: only a
    // pattern file's name is taken.
    if (std::filesystem::path(path).extension() != ".pat") return why = std::string(path) + " is no pattern file (*.pat)", false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return why = std::string("cannot open ") + path, false;
    std::string bytes;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bytes.size() > kLargestPattern) return why = std::string(path) + " is too large for a pattern file", false;
    if (!core.loadPatternBytes(bytes.data(), bytes.size(), "Load Pattern", why))
        return why = std::string(path) + ": " + why, false;
    return true;
}

bool savePatternFile(PluginCore& core, const char* path, std::string& why) {
    SaveResult result;
    if (writePatternFile(core.model().score.doc, path, &result)) return true;
    why = std::string(path) + ": " + describe(result);
    return false;
}

bool saveUserPreset(PluginCore& core, const std::string& name, std::string& why) {
    std::string file;
    for (char c : name)
        if (c != '/' && c != '\\' && (c != '.' || !file.empty())) file += c;
    if (file.empty()) return why = "a preset needs a name", false;
    const std::string folder = userPresetFolder(true);
    if (folder.empty()) return why = "there is no folder for presets (no home folder)", false;
    return savePatternFile(core, (std::filesystem::path(folder) / (file + ".pat")).string().c_str(), why);
}

}  // namespace velmor
