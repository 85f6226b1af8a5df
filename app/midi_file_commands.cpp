#include "app/midi_file_commands.h"

#include <cstring>
#include <string>

#include "app/application.h"
#include "app/save_prompts.h"
#include "files/file_names.h"
#include "files/midi_export.h"
#include "files/midi_import.h"

namespace velmor {

namespace {

const char kMidiFilter[] = "MIDI Files (*.mid)\0*.mid\0";

std::string shortName(const App& app) {
    char name[sizeof app.fileName];
    std::memcpy(name, app.fileName, sizeof name);
    stripDirectory(name);
    return name;
}

}  // namespace

void exportMidiCommand(HWND window, App& app) {
    app.saveFileDialog.lpstrFilter = kMidiFilter;
    if (!GetSaveFileNameA(&app.saveFileDialog)) return;
    const size_t typed = std::strlen(app.fileName);
    if (!appendExtension(app.fileName, sizeof app.fileName, ".mid")) {
        MessageBoxA(window, "File name too long", "Error", MB_ICONHAND);
        return;
    }
    // The save dialog asked about the typed name only.
    if (std::strlen(app.fileName) != typed && !mayReplace(window, app)) return;
    SaveResult r;
    if (!exportMidiFile(app.synth->score, app.fileName, &r)) saveError(window, app, "MIDI file write error", r);
}

bool importMidiCommand(HWND window, App& app) {
    app.openFileDialog.lpstrFilter = kMidiFilter;
    if (!GetOpenFileNameA(&app.openFileDialog)) return false;
    std::string message;
    if (!importMidiFile(*app.synth, app.fileName, message)) {
        const std::string text = shortName(app) + " cannot be imported:\n\n" + message + "\n\nNothing was changed.";
        MessageBoxA(window, text.c_str(), "Import MIDI", MB_ICONHAND);
        return false;
    }
    const std::string text = shortName(app) + " imported:\n\n" + message;
    MessageBoxA(window, text.c_str(), "Import MIDI", MB_ICONINFORMATION);
    return true;
}

}  // namespace velmor
