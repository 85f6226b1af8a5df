#pragma once
// The Edit menu and its keys, and the commands around unsaved work: Save
// Pattern..., the question before the work is replaced or the program
// ends, and the recovery copy written when Windows shuts down with unsaved
// work. Windows only.

#include <windows.h>

namespace velmor {

struct App;

// Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z reach the main window, the step editor and
// the song dialog as the commands IDM_UNDO and IDM_REDO. Installed once,
// for the thread, when the main window opens.
void installEditKeys(App& app);
void removeEditKeys();

// The title (with " *" while the work is unsaved) and the Edit menu's items
// (naming the steps, greyed when there is none), as the document stands.
void showDocumentState(App& app);

// "Save Pattern...": asks for a name, writes the file. True when saved.
bool saveDocumentAs(HWND window, App& app);

// Before anything replaces the document or the program ends: with unsaved
// changes, asks "Save changes to song.pat?". Yes saves (to the document's
// file, or through the save dialog when it has none yet), No goes on,
// Cancel stays. True to go on: nothing unsaved, No, or Yes and the save
// succeeded.
bool mayDiscardDocument(HWND window, App& app);

// The document now is the file `path` (loaded).
void documentLoaded(App& app, const char* path);

// WM_QUERYENDSESSION: unsaved work goes into a recovery copy beside the
// document's file (or in the documents folder), which the next start offers.
void writeRecoveryCopy(App& app);
// Windows did not end after all, or the user has decided about the work:
// the recovery copy is no longer offered (its file stays).
void forgetRecoveryCopy();
// At start: offers a recovery copy that a shutdown left. True when it was
// loaded; the document then counts as unsaved, under its file's name.
bool offerRecoveryCopy(HWND window, App& app);

}  // namespace velmor
