// "Select WAV Device" and "Adjust Average Response": both rebuild the sound
// output on OK, through DirectSound, or through WASAPI with "Low Latency
// (WASAPI)". The main window greys them while the output plays. Windows
// only.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

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

bool checked(HWND window, int id) { return IsDlgButtonChecked(window, id) == BST_CHECKED; }

// The slider counts for DirectSound only; exclusive mode goes with WASAPI.
void showChoices(HWND window) {
    const bool low = checked(window, IDC_RESPONSE_WASAPI);
    EnableWindow(GetDlgItem(window, IDC_RESPONSE_SLIDER), !low);
    EnableWindow(GetDlgItem(window, IDC_RESPONSE_EXCLUSIVE), low);
}

// The output through DirectSound again, as "Select WAV Device" chose it.
void useDirectSound(App& app) {
    app.wasapi.close();
    app.audio.device = &app.sound;
    recreateAudioOutput(app.audio, app.sound, app.mainWindow);
}

// The output through WASAPI; exclusive mode, where the device refuses it,
// gives way to shared mode, and the user hears why. False, with the
// reason, when WASAPI cannot play at all.
bool useWasapi(HWND window, App& app, bool exclusive, std::string& why) {
    if (!app.wasapi.open(app.audio, app.synth->engine, exclusive, why)) {
        std::string shared;
        if (!exclusive || !app.wasapi.open(app.audio, app.synth->engine, false, shared)) {
            if (exclusive) why += "; " + shared;
            return false;
        }
        MessageBoxA(window, ("Exclusive mode is not available: " + why + ".\nShared mode is used.").c_str(),
                    "Low Latency (WASAPI)", MB_ICONINFORMATION);
    }
    app.audio.device = &app.wasapi;
    app.audio.outputReady = 1;
    return true;
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
            useDirectSound(app);
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
            SendDlgItemMessageA(window, IDC_RESPONSE_SLIDER, TBM_SETPOS, TRUE, responsePositionForBytes(app.audio.bufferBytes));
            CheckDlgButton(window, IDC_RESPONSE_WASAPI, app.audio.device == &app.wasapi ? BST_CHECKED : BST_UNCHECKED);
            if (app.audio.device == &app.wasapi) {
                char text[96];
                std::snprintf(text, sizeof text, "Low Latency: a buffer of %d ms, the device's period %d ms\n",
                              static_cast<int>(app.wasapi.aheadFrames() * 1000 / 44100),
                              static_cast<int>(app.wasapi.periodFrames() * 1000 / 44100));
                SetDlgItemTextA(window, IDC_RESPONSE_TEXT, text);
            }
            CheckDlgButton(window, IDC_RESPONSE_EXCLUSIVE, app.wasapi.exclusive() ? BST_CHECKED : BST_UNCHECKED);
            showChoices(window);
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
            if (LOWORD(wParam) == IDC_RESPONSE_WASAPI) {
                showChoices(window);
                return TRUE;
            }
            if (LOWORD(wParam) == IDOK) {
                app.audio.bufferBytes = storedBufferBytes(app.pendingBufferBytes);
                std::string why;
                if (checked(window, IDC_RESPONSE_WASAPI)) {
                    if (useWasapi(window, app, checked(window, IDC_RESPONSE_EXCLUSIVE), why)) {
                        EndDialog(window, 1);
                        return TRUE;
                    }
                    MessageBoxA(
                        window,
                        ("Low Latency (WASAPI) is not available: " + why + ".\nThe sound stays with DirectSound.").c_str(),
                        "Low Latency (WASAPI)", MB_ICONEXCLAMATION);
                }
                useDirectSound(app);
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
