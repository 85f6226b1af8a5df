// "Stream 2 Disk...": one pass of what Play plays into a raw or WAVE file.
// While it renders, the main window is disabled and a progress dialog with
// Cancel stands; messages are handled between blocks, so the window stays
// responsive. The file is written through a temporary one: a cancelled or
// failed stream leaves no new file behind and an old one as it was.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "app/save_prompts.h"
#include "app/side_dialogs.h"
#include "app/window_logic.h"
#include "files/safe_file.h"
#include "files/stream_to_disk.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

const char kStreamFilters[] = "RAW-Files (*.raw)\0*.raw\0WAVE-Files (*.wav)\0*.wav\0";
constexpr DWORD kIndexWave = 2;       // the second filter
constexpr int kProgressSteps = 1000;  // the bar's range
constexpr DWORD kShowAfterMs = 200;   // a short stream ends before the dialog would show
constexpr DWORD kPumpEveryMs = 20;

void error(HWND window, const char* text) { MessageBoxA(window, text, "Error", MB_ICONHAND); }

struct Progress {
    HWND dialog = nullptr;
    const char* fileName = nullptr;
    DWORD started = 0;
    DWORD lastPump = 0;
    int shown = -1;  // the bar's position
    bool cancelled = false;
};

INT_PTR CALLBACK progressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        const Progress& p = *reinterpret_cast<const Progress*>(lParam);
        SetDlgItemTextA(window, IDC_STREAM_TEXT, p.fileName);
        SendDlgItemMessageA(window, IDC_STREAM_PROGRESS, PBM_SETRANGE32, 0, kProgressSteps);
        return TRUE;
    }
    // Cancel, Escape and the close box.
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        if (auto* p = reinterpret_cast<Progress*>(GetWindowLongPtrA(window, DWLP_USER))) p->cancelled = true;
        return TRUE;
    }
    return FALSE;
}

// After every block: the bar follows, and pending messages are handled
// (Cancel among them) every few milliseconds.
bool onBlock(void* context, int64_t written, int64_t total) {
    Progress& p = *static_cast<Progress*>(context);
    const DWORD now = GetTickCount();
    if (now - p.lastPump < kPumpEveryMs && written < total) return !p.cancelled;
    p.lastPump = now;
    if (!IsWindowVisible(p.dialog) && now - p.started >= kShowAfterMs) ShowWindow(p.dialog, SW_SHOW);
    const int position = total > 0 ? static_cast<int>(written * kProgressSteps / total) : kProgressSteps;
    if (position != p.shown) {
        SendDlgItemMessageA(p.dialog, IDC_STREAM_PROGRESS, PBM_SETPOS, position, 0);
        p.shown = position;
    }
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            p.cancelled = true;
            break;
        }
        if (IsDialogMessageA(p.dialog, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return !p.cancelled;
}

bool chooseStreamFile(App& app, bool& waveFilter) {
    OPENFILENAMEA& record = app.saveFileDialog;
    record.lpstrFilter = kStreamFilters;
    record.nFilterIndex = 1;  // raw, the default
    const bool chosen = GetSaveFileNameA(&record) != 0;
    waveFilter = record.nFilterIndex == kIndexWave;
    record.nFilterIndex = 0;  // the other commands offer a single filter
    return chosen;
}

}  // namespace

void streamToDiskCommand(HWND window, App& app) {
    bool waveFilter = false;
    if (!chooseStreamFile(app, waveFilter)) return;
    const size_t typed = std::strlen(app.fileName);
    const StreamKind kind = streamFileName(app.fileName, sizeof app.fileName, waveFilter);
    if (kind == StreamKind::kRefused) {
        error(window, "File name too long");
        return;
    }
    // The save dialog asked about the typed name only.
    if (std::strlen(app.fileName) != typed && !mayReplace(window, app)) return;

    Progress progress;
    progress.fileName = app.fileName;
    progress.started = progress.lastPump = GetTickCount();
    progress.dialog =
        CreateDialogParamA(app.appInstance, IDD_STREAM_PROGRESS, window, progressDialogProc, reinterpret_cast<LPARAM>(&progress));
    // Nothing may change the state mid-stream: the window takes no input,
    // and commands that reach it anyway are ignored.
    app.streaming = true;
    EnableWindow(window, FALSE);

    StreamOptions options;
    options.wave = kind == StreamKind::kWave;
    if (progress.dialog) {
        options.progress = onBlock;
        options.context = &progress;
    }
    // A Cancel that came with the last block still discards the file.
    const SaveResult r =
        saveFile(app.fileName, [&](std::FILE* f) { return streamToDisk(*app.synth, f, options) == 1 && !progress.cancelled; });

    // The main window is enabled before the dialog goes, so that it becomes
    // the active window again.
    EnableWindow(window, TRUE);
    app.streaming = false;
    if (progress.dialog) DestroyWindow(progress.dialog);
    if (progress.cancelled || r.ok()) return;
    saveError(window, app, failedToStart(r) ? "File open error" : "File write error (insufficient disk space?)", r);
}

}  // namespace velmor
