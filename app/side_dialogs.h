#pragma once
// The dialogs the main window opens: the step editor, the song, "Effects
// Setup", About, and the output device and response dialogs. Each takes the
// App as its dialog parameter. Windows only.

#include <windows.h>

namespace velmor {

struct App;
struct SliderControl;

// A slider's range (its parameter's), page size and tick frequency.
void prepareSlider(HWND dialog, const SliderControl& c);

INT_PTR CALLBACK stepEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK songDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK fxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK deviceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK responseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The Pattern menu's "Song Mode" check, set from the song's mode.
void showSongModeCheck(const App& app);

// "Stream 2 Disk...": asks for a raw or WAVE file and renders one pass into
// it behind a progress dialog with Cancel, the main window disabled.
void streamToDiskCommand(HWND mainWindow, App& app);

}  // namespace velmor
