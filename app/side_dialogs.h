#pragma once
// The dialogs the main window opens: the step editor, "Effects Setup",
// About, and the output device and response dialogs. Each takes the App as
// its dialog parameter. Windows only.

#include <windows.h>

namespace velmor {

INT_PTR CALLBACK stepEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK fxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK deviceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK responseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace velmor
