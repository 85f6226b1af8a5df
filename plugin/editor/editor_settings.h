#pragma once
// What the editor keeps for its user across sessions and reinstalls: the
// zoom (100 % to 300 %), and the folder of the user's own presets
// (~/.local/share/velmor/presets, %APPDATA%\Velmor\presets). The main
// thread.

#include <string>

namespace velmor {

int readZoom();
void writeZoom(int zoom);
// The zoom one step larger (+1) or smaller (-1), within 100..300.
int nextZoom(int zoom, int direction);

// The user's preset folder, made when `create` asks; empty where the
// system names no home.
std::string userPresetFolder(bool create);
// The stand-alone program's session, kept at quitting and loaded at the
// next start: session.pat beside the user's presets (the folder made when
// `create` asks); empty where the system names no home.
std::string sessionFile(bool create);
// Where "Save..." offers to save when the system has no dialog for it:
// "Untitled.pat" in the home folder.
std::string defaultPatternPath();

}  // namespace velmor
