// "Effects Setup" (the delay and the groove) and About.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>

#include "app/side_dialogs.h"
#include "app/controls.h"
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

// The label beside each slider, as the dialog opens (the stored values) and
// after a change (the value's text).
int labelOf(int sliderId) {
    switch (sliderId) {
        case IDC_DELAY_STEPS: return IDC_DELAY_STEPS_TEXT;
        case IDC_DELAY_FEEDBACK: return IDC_DELAY_FEEDBACK_TEXT;
        case IDC_DELAY_PAN: return IDC_DELAY_PAN_TEXT;
        default: return IDC_SWING_TEXT;
    }
}

}  // namespace

void prepareSlider(HWND dialog, const SliderControl& c) {
    const ParameterTraits& p = parameterTraits(c.param);
    SendDlgItemMessageA(dialog, c.id, TBM_SETRANGE, FALSE, MAKELPARAM(p.minimum, p.maximum));
    SendDlgItemMessageA(dialog, c.id, TBM_SETPAGESIZE, 0, c.page);
    SendDlgItemMessageA(dialog, c.id, TBM_SETTICFREQ, c.tick, 0);
}

INT_PTR CALLBACK fxDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            const Synth& s = synthOf(window);
            const EngineSettings& g = s.score.doc.settings;
            showNumber(window, IDC_DELAY_STEPS_TEXT, "%d Steps", g.delaySteps);
            showNumber(window, IDC_DELAY_FEEDBACK_TEXT, "%d%%", getCurrent(s, Param::kFeedback));
            showNumber(window, IDC_DELAY_PAN_TEXT, "%d", g.delayPan);
            showNumber(window, IDC_SWING_TEXT, "%d%%", getCurrent(s, Param::kSwing));
            int count = 0;
            const SliderControl* sliders = effectsSliders(&count);
            for (int i = 0; i < count; ++i) {
                prepareSlider(window, sliders[i]);
                SendDlgItemMessageA(window, sliders[i].id, TBM_SETPOS, TRUE, sliderRefreshPosition(s, sliders[i]));
            }
            return TRUE;
        }
        case WM_HSCROLL: {
            HWND slider = reinterpret_cast<HWND>(lParam);
            if (!slider) return FALSE;
            Synth& s = synthOf(window);
            const int id = GetDlgCtrlID(slider);
            int count = 0;
            const SliderControl* sliders = effectsSliders(&count);
            for (int i = 0; i < count; ++i) {
                if (sliders[i].id != id) continue;
                const Param param = sliders[i].param;
                const int32_t value = sliderValue(sliders[i], static_cast<int16_t>(SendMessageA(slider, TBM_GETPOS, 0, 0)));
                setLinked(s, param, value);
                // Feedback shows the position; the others what was stored.
                SetDlgItemTextA(window, labelOf(id),
                                valueText(param, param == Param::kFeedback ? value : getCurrent(s, param)).c_str());
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
