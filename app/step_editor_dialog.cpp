// The step editor "PITCH": every change goes straight into the current
// unit's pattern, so a playing pattern changes as it is edited.

#include "app/application.h"

#include <commctrl.h>

#include "app/side_dialogs.h"
#include "model/step_editor.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

Synth& synthOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER))->synth; }

void refreshStepEditor(HWND window) {
    Synth& s = synthOf(window);
    for (int i = 0; i < 16; ++i) {
        const int pitch = s.store.stepPitch[stepIndex(s.store.currentUnit, 0, i)];
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETPOS, TRUE, pitchSliderPosition(pitch));
        SetDlgItemTextA(window, IDC_STEP_NAME(i), noteName(pitch).c_str());
    }
}

BOOL setUp(HWND window) {
    Synth& s = synthOf(window);
    for (int i = 0; i < 16; ++i) {
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETRANGE, FALSE, MAKELPARAM(0, 48));
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETPAGESIZE, 0, 12);
        SendDlgItemMessageA(window, IDC_STEP_PITCH(i), TBM_SETTICFREQ, 2, 0);
        const int at = stepIndex(s.store.currentUnit, 0, i);
        CheckDlgButton(window, IDC_STEP_NOTE(i), s.store.stepNoteOn[at] != 0 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(window, IDC_STEP_SLIDE(i), s.store.stepSlide[at] != 0 ? BST_CHECKED : BST_UNCHECKED);
    }
    refreshStepEditor(window);
    return TRUE;
}

// A click on either spin: one transposition or rotation per click. The
// proposed change is refused, so the spin never runs into a limit of its own.
BOOL onSpin(HWND window, const NMUPDOWN& change) {
    if (change.iDelta == 0) return FALSE;
    Synth& s = synthOf(window);
    if (change.hdr.idFrom == IDC_PITCH_SPIN) transposePattern(s, change.iDelta);
    else shiftPattern(s, change.iDelta);
    refreshStepEditor(window);
    SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK stepEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            return setUp(window);
        case WM_VSCROLL: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            const int i = id - IDC_STEP_PITCH_FIRST;
            if (i < 0 || i > 15) return FALSE;
            const int position = static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), TBM_GETPOS, 0, 0));
            Synth& s = synthOf(window);
            setStepPitchFromSlider(s, i, position);
            SetDlgItemTextA(window, IDC_STEP_NAME(i), noteName(s.store.stepPitch[stepIndex(s.store.currentUnit, 0, i)]).c_str());
            return TRUE;
        }
        case WM_NOTIFY: {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->code == UDN_DELTAPOS && (header->idFrom == IDC_PITCH_SPIN || header->idFrom == IDC_SHIFT_SPIN))
                return onSpin(window, *reinterpret_cast<const NMUPDOWN*>(lParam));
            return FALSE;
        }
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            Synth& s = synthOf(window);
            if (id == IDOK || id == IDCANCEL) {
                EndDialog(window, 1);
                return TRUE;
            }
            if (id >= IDC_STEP_NOTE_FIRST && id < IDC_STEP_NOTE_FIRST + 16) {
                CheckDlgButton(window, id, toggleStepNoteOn(s, id - IDC_STEP_NOTE_FIRST) ? BST_CHECKED : BST_UNCHECKED);
                return TRUE;
            }
            if (id >= IDC_STEP_SLIDE_FIRST && id < IDC_STEP_SLIDE_FIRST + 16) {
                CheckDlgButton(window, id, toggleStepSlide(s, id - IDC_STEP_SLIDE_FIRST) ? BST_CHECKED : BST_UNCHECKED);
                return TRUE;
            }
            if (id == IDC_GENERATE_RANDOM) {
                generateRandomPattern(s, GetTickCount());
                refreshStepEditor(window);
            }
            return FALSE;
        }
        default: return FALSE;
    }
}

}  // namespace velmor
