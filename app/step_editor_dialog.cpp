// The step editor "PITCH": every change goes straight into the current
// unit's selected pattern, so a playing pattern changes as it is edited.

#include "app/application.h"

#include <commctrl.h>

#include <string>

#include "app/side_dialogs.h"
#include "engine/song_clock.h"
#include "model/song.h"
#include "model/step_editor.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

Synth& synthOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER))->synth; }

void check(HWND window, int id, int on) { CheckDlgButton(window, id, on ? BST_CHECKED : BST_UNCHECKED); }

// The pitch sliders and note names.
void refreshStepEditor(HWND window) {
    const Synth& s = synthOf(window);
    for (int i = 0; i < 16; ++i) {
        const int pitch = stepPitch(s, i);
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETPOS, TRUE, pitchSliderPosition(pitch));
        SetDlgItemTextA(window, IDC_STEP_NAME(i), noteName(pitch).c_str());
    }
}

// Everything the selected pattern shows: pitches, names and the switches.
void showPattern(HWND window) {
    const Synth& s = synthOf(window);
    for (int i = 0; i < 16; ++i) {
        check(window, IDC_STEP_NOTE(i), stepNoteOn(s, i));
        check(window, IDC_STEP_SLIDE(i), stepSlide(s, i));
        check(window, IDC_STEP_ACCENT(i), stepAccent(s, i));
    }
    refreshStepEditor(window);
}

BOOL setUp(HWND window) {
    const Synth& s = synthOf(window);
    for (int i = 0; i < 16; ++i) {
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETRANGE, FALSE, MAKELPARAM(0, 48));
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETPAGESIZE, 0, 12);
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETTICFREQ, 2, 0);
    }
    for (int p = 0; p < kPatternsPerUnit; ++p)
        SendDlgItemMessageA(window, IDC_PATTERN_SELECT, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(std::to_string(p + kFirstPatternNumber).c_str()));
    SendDlgItemMessageA(window, IDC_PATTERN_SELECT, CB_SETCURSEL, selectedPattern(s.score.derived), 0);
    showPattern(window);
    return TRUE;
}

// A click on either spin: one transposition or rotation per click. The
// proposed change is refused, so the spin never runs into a limit of its own.
BOOL onSpin(HWND window, const NMUPDOWN& change) {
    if (change.iDelta == 0) return FALSE;
    Synth& s = synthOf(window);
    if (change.hdr.idFrom == IDC_PITCH_SPIN)
        transposePattern(s, change.iDelta);
    else
        shiftPattern(s, change.iDelta);
    refreshStepEditor(window);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
    return TRUE;
}

// A switch of one of the three rows: ids first..first + 15.
bool inRow(int id, int first) { return id >= first && id < first + 16; }

BOOL onCommand(HWND window, int id, int code) {
    Synth& s = synthOf(window);
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(window, 1);
        return TRUE;
    }
    // Undo and Redo are the main window's; the editor shows what they left.
    if (id == IDM_UNDO || id == IDM_REDO) {
        SendMessageA(reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER))->mainWindow, WM_COMMAND, id, 0);
        showPattern(window);
        return TRUE;
    }
    if (inRow(id, IDC_STEP_NOTE_FIRST)) {
        check(window, id, toggleStepNoteOn(s, id - IDC_STEP_NOTE_FIRST));
        return TRUE;
    }
    if (inRow(id, IDC_STEP_SLIDE_FIRST)) {
        check(window, id, toggleStepSlide(s, id - IDC_STEP_SLIDE_FIRST));
        return TRUE;
    }
    if (inRow(id, IDC_STEP_ACCENT_FIRST)) {
        check(window, id, toggleStepAccent(s, id - IDC_STEP_ACCENT_FIRST));
        return TRUE;
    }
    if (id == IDC_PATTERN_SELECT && code == CBN_SELCHANGE) {
        const LRESULT chosen = SendDlgItemMessageA(window, IDC_PATTERN_SELECT, CB_GETCURSEL, 0, 0);
        if (chosen != CB_ERR) selectPattern(s, static_cast<int>(chosen));
        showPattern(window);
        return TRUE;
    }
    if (id == IDC_GENERATE_RANDOM) {
        generateRandomPattern(s, GetTickCount());
        refreshStepEditor(window);
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK stepEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: SetWindowLongPtrA(window, DWLP_USER, lParam); return setUp(window);
        case WM_VSCROLL: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            const int i = id - IDC_STEP_PITCH_FIRST;
            if (i < 0 || i > 15) return FALSE;
            const int position = static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0));
            Synth& s = synthOf(window);
            setStepPitchFromSlider(s, i, position);
            SetDlgItemTextA(window, IDC_STEP_NAME(i), noteName(stepPitch(s, i)).c_str());
            return TRUE;
        }
        case WM_NOTIFY: {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == UDN_DELTAPOS && (header->idFrom == IDC_PITCH_SPIN || header->idFrom == IDC_SHIFT_SPIN))
                return onSpin(window, *reinterpret_cast<const NMUPDOWN*>(lParam));
            return FALSE;
        }
        case WM_COMMAND: return onCommand(window, LOWORD(wParam), HIWORD(wParam));
        default: return FALSE;
    }
}

}  // namespace velmor
