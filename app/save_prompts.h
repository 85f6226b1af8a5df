#pragma once
// What the save commands ask and tell around a save: whether an existing
// file may be replaced, and why a save failed. Windows only.

#include <windows.h>

#include "files/safe_file.h"

namespace velmor {

struct App;

// The save dialog asks before it replaces a file, but only about the name
// that was typed: when the extension is appended afterwards, the program
// asks about the name it will write in the same words. True to go on.
bool mayReplace(HWND window, const App& app);

// A failed save: the message leads with `lead`, then names the file, the
// step that failed and the system's reason. The old file is unchanged.
void saveError(HWND window, const App& app, const char* lead, const SaveResult& r);

}  // namespace velmor
