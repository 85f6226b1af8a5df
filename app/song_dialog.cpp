// The "Song" dialog: the song's positions in a list, the pattern of the
// selected one, Insert, Delete and the song mode switch. Every change
// applies at once, while the song plays too.

#include "app/application.h"

#include <string>

#include "app/side_dialogs.h"
#include "app/song_editing.h"
#include "model/song.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

App& appOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER)); }

LRESULT sendItem(HWND window, int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendDlgItemMessageA(window, id, message, wParam, lParam);
}

int selectedPosition(HWND window) {
    const LRESULT at = sendItem(window, IDC_SONG_LIST, LB_GETCURSEL);
    return at == LB_ERR ? 0 : static_cast<int>(at);
}

// The selected position's pattern in the drop-down list, and Delete greyed
// while only one position is left.
void showSelection(HWND window) {
    const Synth& s = *appOf(window).synth;
    sendItem(window, IDC_SONG_PATTERN, CB_SETCURSEL, songPattern(s, selectedPosition(window)));
    const bool deletable = songPositions(s) > 1;
    HWND button = GetDlgItem(window, IDC_SONG_DELETE);
    if (!deletable && GetFocus() == button)
        SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_SONG_LIST)), TRUE);
    EnableWindow(button, deletable);
}

// Fills the list anew and selects `position` (scrolled into view).
void fillList(HWND window, int position) {
    const Synth& s = *appOf(window).synth;
    HWND list = GetDlgItem(window, IDC_SONG_LIST);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    const int positions = songPositions(s);
    for (int i = 0; i < positions; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(songPositionLabel(i, songPattern(s, i)).c_str()));
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    SendMessageA(list, LB_SETCURSEL, position, 0);
    InvalidateRect(list, nullptr, TRUE);
    showSelection(window);
}

// One line of the list after its pattern changed; the selection stays.
void updateLine(HWND window, int position) {
    const Synth& s = *appOf(window).synth;
    HWND list = GetDlgItem(window, IDC_SONG_LIST);
    const LRESULT top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    SendMessageA(list, LB_DELETESTRING, position, 0);
    SendMessageA(list, LB_INSERTSTRING, position,
                 reinterpret_cast<LPARAM>(songPositionLabel(position, songPattern(s, position)).c_str()));
    SendMessageA(list, LB_SETCURSEL, position, 0);
    SendMessageA(list, LB_SETTOPINDEX, top, 0);
    showSelection(window);
}

void insertPosition(HWND window) {
    const int inserted = insertAfterSelected(*appOf(window).synth, selectedPosition(window));
    if (inserted < 0) {
        MessageBoxA(window, "The song holds at most 512 positions.", "Error", MB_ICONHAND);
        return;
    }
    fillList(window, inserted);
}

void deletePosition(HWND window) {
    const int next = deleteSelected(*appOf(window).synth, selectedPosition(window));
    if (next < 0) {
        MessageBeep(MB_OK);  // the last position stays
        return;
    }
    fillList(window, next);
}

void stepPattern(HWND window, int change) {
    const int position = selectedPosition(window);
    stepSelectedPattern(*appOf(window).synth, position, change);
    updateLine(window, position);
}

BOOL setUp(HWND window) {
    const Synth& s = *appOf(window).synth;
    for (int p = 0; p < kPatternsPerUnit; ++p)
        sendItem(window, IDC_SONG_PATTERN, CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(std::to_string(p + kFirstPatternNumber).c_str()));
    CheckDlgButton(window, IDC_SONG_MODE, songModeOn(s) ? BST_CHECKED : BST_UNCHECKED);
    fillList(window, 0);
    return TRUE;  // the focus goes to the list, the first control
}

// Keys in the list: Insert and Delete as the buttons, + and - step the
// pattern; the others (arrows, Home, End, ...) move the selection as usual.
INT_PTR onListKey(HWND window, int key) {
    switch (key) {
        case VK_INSERT: insertPosition(window); return -2;
        case VK_DELETE: deletePosition(window); return -2;
        case VK_ADD:
        case VK_OEM_PLUS: stepPattern(window, 1); return -2;
        case VK_SUBTRACT:
        case VK_OEM_MINUS: stepPattern(window, -1); return -2;
        default: return -1;
    }
}

void onCommand(HWND window, int id, int code) {
    App& app = appOf(window);
    switch (id) {
        case IDOK:
        case IDCANCEL: EndDialog(window, 1); return;
        case IDC_SONG_LIST:
            if (code == LBN_SELCHANGE) showSelection(window);
            return;
        case IDC_SONG_PATTERN:
            if (code == CBN_SELCHANGE) {
                const LRESULT chosen = sendItem(window, IDC_SONG_PATTERN, CB_GETCURSEL);
                const int position = selectedPosition(window);
                if (chosen != CB_ERR) setSongPattern(*app.synth, position, static_cast<int>(chosen));
                updateLine(window, position);
            }
            return;
        case IDM_UNDO:
        case IDM_REDO: {
            // Undo and Redo are the main window's; the list shows what they left.
            const int selected = selectedPosition(window);
            SendMessageA(app.mainWindow, WM_COMMAND, id, 0);
            const int positions = songPositions(*app.synth);
            fillList(window, selected < positions ? selected : positions - 1);
            CheckDlgButton(window, IDC_SONG_MODE, songModeOn(*app.synth) ? BST_CHECKED : BST_UNCHECKED);
            return;
        }
        case IDC_SONG_INSERT: insertPosition(window); return;
        case IDC_SONG_DELETE: deletePosition(window); return;
        case IDC_SONG_MODE:
            setSongMode(*app.synth, IsDlgButtonChecked(window, IDC_SONG_MODE) == BST_CHECKED);
            showSongModeCheck(app);
            return;
        default: return;
    }
}

}  // namespace

void showSongModeCheck(const App& app) {
    CheckMenuItem(GetMenu(app.mainWindow), IDM_SONG_MODE, MF_BYCOMMAND | (songModeOn(*app.synth) ? MF_CHECKED : MF_UNCHECKED));
}

INT_PTR CALLBACK songDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: SetWindowLongPtrA(window, DWLP_USER, lParam); return setUp(window);
        case WM_VKEYTOITEM:
            if (reinterpret_cast<HWND>(lParam) != GetDlgItem(window, IDC_SONG_LIST)) return -1;
            return onListKey(window, LOWORD(wParam));
        case WM_COMMAND: onCommand(window, LOWORD(wParam), HIWORD(wParam)); return TRUE;
        default: return FALSE;
    }
}

}  // namespace velmor
