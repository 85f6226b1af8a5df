#include "app/unsaved_work.h"

#include <cstring>

#include "app/window_logic.h"

namespace velmor {

namespace {

// The name after the last folder separator.
const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

bool hasPatternExtension(const std::string& name) {
    if (name.size() < 4) return false;
    const char* ext = name.c_str() + name.size() - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'p' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 't';
}

}  // namespace

std::string editMenuText(bool redo, const char* stepName) {
    std::string text = redo ? "&Redo" : "&Undo";
    if (stepName) text.append(" ").append(stepName);
    return text + (redo ? "\tCtrl+Y" : "\tCtrl+Z");
}

std::string documentTitle(const char* documentPath, bool changed) {
    std::string title = kProgramTitle;
    if (documentPath && *documentPath) title.append(" - ").append(baseName(documentPath));
    return changed ? title + " *" : title;
}

std::string saveChangesQuestion(const char* documentPath) {
    const char* name = documentPath && *documentPath ? baseName(documentPath) : "Untitled";
    return std::string("Save changes to ") + name + "?";
}

std::string recoveryPath(const char* documentPath, const char* documentsFolder) {
    std::string stem;
    if (documentPath && *documentPath) {
        stem = documentPath;
        if (hasPatternExtension(stem)) stem.resize(stem.size() - 4);
    } else {
        stem = documentsFolder;
        if (!stem.empty() && stem.back() != '\\' && stem.back() != '/') stem += '\\';
        stem += "Untitled";
    }
    return stem + " (recovered).pat";
}

}  // namespace velmor
