#pragma once
// The presets the editor browses: the factory bank, built into the plugin,
// by category, then the user's own from their folder (category "User").
// Loading one replaces the document as one edit that Undo takes back.

#include <string>
#include <vector>

#include "plugin/plugin_core.h"

namespace velmor {

struct FactoryPreset;

class EditorPresets {
public:
    // Takes the factory bank and the user folder's files as they now are.
    void refresh();
    int count() const { return static_cast<int>(entries_.size()); }
    // "Acid: Rubber Squelch"; "(no preset)" outside the list.
    std::string name(int index) const;
    const std::string& category(int index) const { return entries_[index].category; }
    const std::string& shortName(int index) const { return entries_[index].name; }
    bool load(PluginCore& core, int index, std::string& why) const;
    // The entry of a user preset's name, or -1.
    int userPreset(const std::string& name) const;

private:
    struct Entry {
        std::string category, name;
        const FactoryPreset* factory = nullptr;
        std::string path;  // a user preset's file
    };
    std::vector<Entry> entries_;
};

// A pattern file, from "Load..." or a user preset, as one edit.
bool loadPresetFile(PluginCore& core, const char* path, std::string& why);
// "Save...": the document, as the Windows program's "Save Pattern..."
// writes it; a failed write leaves the old file as it was.
bool savePatternFile(PluginCore& core, const char* path, std::string& why);
// "Save Preset...": the document as NAME.pat in the user's preset folder
// (a name's slashes and a leading dot taken out). False, and why, for an
// empty name or a failed write.
bool saveUserPreset(PluginCore& core, const std::string& name, std::string& why);

}  // namespace velmor
