// "Effects Setup" (the delay and the groove) and About.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>

#include "app/side_dialogs.h"
#include "model/parameters.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

Synth& synthOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER))->synth; }

void showNumber(HWND window, int id, const char* format, int value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    SetDlgItemTextA(window, id, text);
}

struct FxSlider {
    int id;
    int minimum, maximum, page, tick;
    Position (*get)(const Synth&);
};
const FxSlider kFxSliders[] = {
    {IDC_DELAY_STEPS, 0, 4, 1, 1, getDelaySteps},
    {IDC_DELAY_FEEDBACK, 0, 100, 1, 10, getFeedback},
    {IDC_DELAY_PAN, 0, 128, 16, 16, getPan},
    {IDC_SWING, 0, 100, 10, 10, getSwing},
};

}  // namespace

INT_PTR CALLBACK fxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            Synth& s = synthOf(window);
            showNumber(window, IDC_DELAY_STEPS_TEXT, "%d Steps", s.store.settings.delaySteps);
            showNumber(window, IDC_DELAY_FEEDBACK_TEXT, "%d%%", getFeedback(s));
            showNumber(window, IDC_DELAY_PAN_TEXT, "%d", s.store.settings.delayPan);
            showNumber(window, IDC_SWING_TEXT, "%d%%", getSwing(s));
            for (const FxSlider& f : kFxSliders) {
                SendDlgItemMessageA(window, f.id, TBM_SETRANGE, FALSE, MAKELPARAM(f.minimum, f.maximum));
                SendDlgItemMessageA(window, f.id, TBM_SETPAGESIZE, 0, f.page);
                SendDlgItemMessageA(window, f.id, TBM_SETTICFREQ, f.tick, 0);
                SendDlgItemMessageA(window, f.id, TBM_SETPOS, TRUE, f.get(s));
            }
            return TRUE;
        }
        case WM_HSCROLL: {
            HWND slider = reinterpret_cast<HWND>(lParam);
            if (!slider) return FALSE;
            Synth& s = synthOf(window);
            const Position position = static_cast<Position>(SendMessageA(slider, TBM_GETPOS, 0, 0));
            switch (GetDlgCtrlID(slider)) {
                case IDC_DELAY_STEPS:
                    setDelaySteps(s, position);
                    showNumber(window, IDC_DELAY_STEPS_TEXT, "%d Steps", s.store.settings.delaySteps);
                    break;
                case IDC_DELAY_FEEDBACK:
                    setFeedback(s, position);
                    showNumber(window, IDC_DELAY_FEEDBACK_TEXT, "%d%%", position);
                    break;
                case IDC_DELAY_PAN:
                    setPan(s, position);
                    showNumber(window, IDC_DELAY_PAN_TEXT, "%d", s.store.settings.delayPan);
                    break;
                case IDC_SWING:
                    setSwing(s, position);
                    showNumber(window, IDC_SWING_TEXT, "%d%%", getSwing(s));
                    break;
                default: break;
            }
            return FALSE;
        }
        case WM_COMMAND:
            // Every change was applied as the slider moved; nothing is restored.
            if (LOWORD(wParam) == IDOK) EndDialog(window, 1);
            if (LOWORD(wParam) == IDCANCEL) EndDialog(window, 0);
            return FALSE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK aboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) EndDialog(window, 1);
    return FALSE;
}

}  // namespace velmor
