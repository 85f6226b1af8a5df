// "Select WAV Device" and "Adjust Average Response": both rebuild the sound
// output on OK. The main window greys them while the output plays. Windows
// only.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>

#include "app/response.h"
#include "app/side_dialogs.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

App& appOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER)); }

void showResponse(HWND window, uint32_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "Average Response after %ld ms\n", static_cast<long>(responseMilliseconds(bytes)));
    SetDlgItemTextA(window, IDC_RESPONSE_TEXT, text);
}

}  // namespace

INT_PTR CALLBACK deviceDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        const DeviceTable& d = appOf(window).audio.devices;
        for (uint32_t i = 0; i < d.deviceCount; ++i)
            SendDlgItemMessageA(window, IDC_DEVICE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.deviceNames[i]));
        SendDlgItemMessageA(window, IDC_DEVICE_LIST, LB_SETCURSEL, d.selectedDevice, 0);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    App& app = appOf(window);
    switch (LOWORD(wParam)) {
        case IDOK: {
            const LRESULT selected = SendDlgItemMessageA(window, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0);
            if (selected >= 0) app.audio.devices.selectedDevice = static_cast<uint32_t>(selected);
            recreateAudioOutput(app.audio, app.sound, app.mainWindow);
            EndDialog(window, 1);
            return TRUE;
        }
        case IDCANCEL: EndDialog(window, 0); return TRUE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK responseDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            App& app = appOf(window);
            app.pendingBufferBytes = app.audio.bufferBytes;
            showResponse(window, app.audio.bufferBytes);
            SendDlgItemMessageA(window, IDC_RESPONSE_SLIDER, TBM_SETRANGE, FALSE, MAKELPARAM(0, 100));
            SendDlgItemMessageA(window, IDC_RESPONSE_SLIDER, TBM_SETPAGESIZE, 0, 1);
            SendDlgItemMessageA(window, IDC_RESPONSE_SLIDER, TBM_SETTICFREQ, 10, 0);
            SendDlgItemMessageA(window, IDC_RESPONSE_SLIDER, TBM_SETPOS, TRUE,
                                responsePositionForBytes(app.audio.bufferBytes));
            return TRUE;
        }
        case WM_HSCROLL: {
            HWND slider = reinterpret_cast<HWND>(lParam);
            if (!slider || GetDlgCtrlID(slider) != IDC_RESPONSE_SLIDER) return FALSE;
            const uint32_t p = static_cast<uint32_t>(SendMessageA(slider, TBM_GETPOS, 0, 0));
            const uint32_t bytes = responseBytesForPosition(p);
            appOf(window).pendingBufferBytes = bytes;
            showResponse(window, bytes);
            return FALSE;
        }
        case WM_COMMAND: {
            App& app = appOf(window);
            if (LOWORD(wParam) == IDOK) {
                app.audio.bufferBytes = storedBufferBytes(app.pendingBufferBytes);
                recreateAudioOutput(app.audio, app.sound, app.mainWindow);
                EndDialog(window, 1);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(window, 0);
                return TRUE;
            }
            return FALSE;
        }
        default: return FALSE;
    }
}

}  // namespace velmor
