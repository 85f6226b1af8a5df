#include "app/save_prompts.h"

#include <cstring>
#include <string>

#include "app/application.h"
#include "files/file_names.h"

namespace velmor {

bool mayReplace(HWND window, const App& app) {
    if (GetFileAttributesA(app.fileName) == INVALID_FILE_ATTRIBUTES) return true;
    char name[sizeof app.fileName];
    std::memcpy(name, app.fileName, sizeof name);
    stripDirectory(name);
    const std::string question = std::string(name) + " already exists.\nDo you want to replace it?";
    return MessageBoxA(window, question.c_str(), "Save As", MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
}

void saveError(HWND window, const App& app, const char* lead, const SaveResult& r) {
    const std::string text = std::string(lead) + "\n\n" + app.fileName + "\n" + describe(r);
    MessageBoxA(window, text.c_str(), "Error", MB_ICONHAND);
}

}  // namespace velmor
