#pragma once
// The File menu's "Export MIDI..." and "Import MIDI...": the file dialogs,
// the questions and the messages around files/midi_export.h and
// files/midi_import.h. Windows only.

#include <windows.h>

namespace velmor {

struct App;

// Asks for a .mid name (appended unless typed), asks before replacing a
// file, and writes one pass of what Play plays through a temporary file.
void exportMidiCommand(HWND window, App& app);

// Asks for a MIDI file and imports it; a message box tells what was placed,
// merged and dropped, or where the file is damaged (nothing changes then).
// True when the document was replaced.
bool importMidiCommand(HWND window, App& app);

}  // namespace velmor
