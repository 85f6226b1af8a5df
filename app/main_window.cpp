// The main window: a modal dialog whose procedure turns the user's actions
// into calls of the model, engine, file and audio operations.

#include "app/application.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "app/controls.h"
#include "app/document_commands.h"
#include "app/midi_file_commands.h"
#include "app/save_prompts.h"
#include "app/side_dialogs.h"
#include "app/window_logic.h"
#include "engine/mixdown.h"
#include "files/pattern_file.h"
#include "files/user_wave.h"
#include "model/song.h"
#include "model/units.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

const char kPatternFilter[] = "Pattern Philes (*.pat)\0*.pat\0";
const char kRawFilter[] = "RAW-Files (*.raw)\0*.raw\0";
const UINT_PTR kStatusTimer = 0;
const UINT_PTR kEnvelopeSubclass = 1;

// The commands whose menu items are greyed while the output plays.
const int kOutputMenus[] = {IDM_OUTPUT_DEVICE, IDM_RESPONSE, IDM_STREAM_TO_DISK};

App& appOf(HWND window) { return *reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER)); }

void error(HWND window, const char* text) { MessageBoxA(window, text, "Error", MB_ICONHAND); }

// Radio groups as the refresh checks them.
struct RadioGroup {
    int ids[5];
    int count;
};
const RadioGroup kGroups[] = {{{IDC_OSC1_SAW, IDC_OSC1_SQUARE, IDC_OSC1_SINE, IDC_OSC1_SAW2, IDC_OSC1_USER}, 5},
                              {{IDC_OSC2_SAW, IDC_OSC2_SQUARE, IDC_OSC2_SINE, IDC_OSC2_SAW2, IDC_OSC2_USER}, 5},
                              {{IDC_FILTER_LO12, IDC_FILTER_LO24, IDC_FILTER_HI12, IDC_FILTER_BAND, IDC_FILTER_BYPASS}, 5},
                              {{IDC_LFO_TARGET_OSC, IDC_LFO_TARGET_RESO, IDC_LFO_TARGET_CUTOFF}, 3},
                              {{IDC_LFO_SINE, IDC_LFO_SQUARE}, 2},
                              {{IDC_DIST_A, IDC_DIST_B}, 2}};

void refreshRadioGroups(HWND window, const Synth& s) {
    for (const RadioGroup& g : kGroups) {
        int checked = -1;
        for (int i = 0; i < g.count; ++i)
            if (isChoiceChecked(s, g.ids[i])) checked = i;
        // A value without a button leaves its group as it was, except the LFO
        // wave 2, which shows no button checked.
        const bool noWave = g.ids[0] == IDC_LFO_SINE && getCurrent(s, Param::kLfoWave) == 2;
        if (checked < 0 && !noWave) continue;
        for (int i = 0; i < g.count; ++i) CheckDlgButton(window, g.ids[i], i == checked ? BST_CHECKED : BST_UNCHECKED);
    }
}

void drawEnvelope(HWND window) {
    App& app = appOf(window);
    HWND frame = GetDlgItem(window, IDC_ENVELOPE);
    if (!frame) return;
    const auto pos = [&](int id) { return static_cast<int>(SendDlgItemMessageA(window, id, TBM_GETPOS, 0, 0)); };
    RECT r;
    GetWindowRect(frame, &r);
    const EnvelopeOutline o = envelopeOutline(r.right - r.left - 1, r.bottom - r.top - 2, pos(kAttackSlider), pos(kDecaySlider),
                                              pos(kSustainSlider), pos(kReleaseSlider), 100 - pos(kSustainLevelSlider));
    POINT p[8];
    for (int i = 0; i < 8; ++i) p[i] = POINT{o.p[i].x, o.p[i].y};
    HDC dc = GetDC(frame);
    HGDIOBJ previous = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    const POINT above1[] = {p[0], p[1], p[2]};
    const POINT above2[] = {p[2], p[3], p[4], p[5], p[6], p[7]};
    Polygon(dc, above1, 3);
    Polygon(dc, above2, 6);
    SelectObject(dc, app.envelopeBrush);
    const POINT envelope[] = {p[1], p[2], p[3], p[4], p[5]};
    Polygon(dc, envelope, 5);
    SelectObject(dc, previous);
    ReleaseDC(frame, dc);
}

// The envelope frame paints itself first; the picture goes on top of it.
LRESULT CALLBACK envelopeFrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const LRESULT result = DefSubclassProc(frame, message, wParam, lParam);
    if (message == WM_PAINT) drawEnvelope(GetParent(frame));
    return result;
}

void showTempo(HWND window, int bpm) {
    char text[32];
    std::snprintf(text, sizeof text, "%d BPM", bpm);
    SetDlgItemTextA(window, IDC_TEMPO_TEXT, text);
}

void refreshMainControls(HWND window) {
    Synth& s = *appOf(window).synth;
    int count = 0;
    const SliderControl* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i)
        SendDlgItemMessageA(window, sliders[i].id, TBM_SETPOS, TRUE, sliderRefreshPosition(s, sliders[i]));
    showTempo(window, getCurrent(s, Param::kTempo));
    for (int k = 0; k < kMaxUnitsInUse; ++k) {
        const LinkState state = linkButtonState(s, k);
        CheckDlgButton(window, kFirstLinkButton + k,
                       state == kLinkOwn ? BST_INDETERMINATE : (state == kLinkOn ? BST_CHECKED : BST_UNCHECKED));
    }
    CheckDlgButton(window, kSyncBox, getCurrent(s, Param::kSync) != 0 ? BST_CHECKED : BST_UNCHECKED);
    refreshRadioGroups(window, s);
    showSongModeCheck(appOf(window));
    drawEnvelope(window);
}

void addUnitTab(HWND window, int index) {
    const std::string label = unitTabLabel(index);
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(label.c_str());
    SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item));
}

void rebuildUnitTabs(HWND window) {
    SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_DELETEALLITEMS, 0, 0);
    const int units = appOf(window).synth->score.doc.unitCount;
    for (int i = 0; i < units; ++i) addUnitTab(window, i);
    refreshMainControls(window);
}

void setOutputMenus(HWND window, bool enabled) {
    HMENU menu = GetMenu(window);
    for (int id : kOutputMenus) EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

bool chooseFile(OPENFILENAMEA& record, const char* filter, bool save) {
    record.lpstrFilter = filter;
    return (save ? GetSaveFileNameA(&record) : GetOpenFileNameA(&record)) != 0;
}

void loadPattern(HWND window, App& app) {
    if (!mayDiscardDocument(window, app)) return;
    if (!chooseFile(app.openFileDialog, kPatternFilter, false)) return;
    Synth& s = *app.synth;
    // A file that cannot be opened or read changes nothing: the units, the
    // controls and the title stay as they were.
    if (!loadPatternFile(s, app.fileName)) return;
    rebuildUnitTabs(window);
    documentLoaded(app, app.fileName);
}

// After Undo or Redo: the tabs of the units in use, the current one
// selected, and every control.
void showUndone(HWND window) {
    const Synth& s = *appOf(window).synth;
    if (SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_GETITEMCOUNT, 0, 0) != s.score.doc.unitCount) {
        SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_DELETEALLITEMS, 0, 0);
        for (int i = 0; i < s.score.doc.unitCount; ++i) addUnitTab(window, i);
    }
    SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_SETCURSEL, s.selection.currentUnit, 0);
    refreshMainControls(window);
}

void loadUserWaveFile(App& app) {
    if (!chooseFile(app.openFileDialog, kRawFilter, false)) return;
    loadUserWave(*app.synth, app.fileName);
}

void fillFileDialogRecords(HWND window, App& app) {
    for (OPENFILENAMEA* record : {&app.openFileDialog, &app.saveFileDialog}) {
        *record = OPENFILENAMEA{};
        record->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
        record->hwndOwner = window;
        record->hInstance = app.appInstance;
        record->lpstrFile = app.fileName;
        record->nMaxFile = sizeof app.fileName;
    }
    app.openFileDialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    // The save dialog asks before an existing file is replaced.
    app.saveFileDialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
}

void setButtonIcon(HWND window, int id, HICON icon) {
    SendDlgItemMessageA(window, id, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

BOOL setUp(HWND window, App& app) {
    app.mainWindow = window;
    app.envelopeBrush = CreateSolidBrush(RGB(200, 10, 10));
    if (!initAudioOutput(app.audio, app.sound, window, nullptr)) {
        error(window, "DirectSound Initialization failed!");
        EndDialog(window, 0);
        return FALSE;
    }
    Synth& s = *app.synth;
    // The first unit tab and every default; the tick starts
    // once the engine's buffers exist.
    if (!startUpState(s)) {
        error(window, "Not enough memory for the sound engine.");
        EndDialog(window, 0);
        return FALSE;
    }
    app.tick.out = &app.audio;
    app.tick.engine = &s.engine;
    app.tick.owner = window;
    startAudioTimer(app.audio, &app.tick);
    addUnitTab(window, 0);

    int count = 0;
    const SliderControl* sliders = mainWindowSliders(&count);
    for (int i = 0; i < count; ++i) prepareSlider(window, sliders[i]);
    for (int id : {IDC_OSC1_SAW, IDC_OSC2_SAW}) setButtonIcon(window, id, app.icons[kIconSaw]);
    for (int id : {IDC_OSC1_SAW2, IDC_OSC2_SAW2}) setButtonIcon(window, id, app.icons[kIconSaw2]);
    for (int id : {IDC_OSC1_SQUARE, IDC_OSC2_SQUARE, IDC_LFO_SQUARE}) setButtonIcon(window, id, app.icons[kIconSquare]);
    for (int id : {IDC_OSC1_SINE, IDC_OSC2_SINE, IDC_LFO_SINE}) setButtonIcon(window, id, app.icons[kIconSine]);
    setButtonIcon(window, IDC_PLAY, app.icons[kIconPlay]);
    setButtonIcon(window, IDC_STOP, app.icons[kIconStop]);
    // The program's icon in the title bar and the task bar (shared icons: the system frees them).
    HANDLE bigIcon =
        LoadImageA(app.appInstance, IDI_APP, IMAGE_ICON, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED);
    HANDLE smallIcon =
        LoadImageA(app.appInstance, IDI_APP, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    SetWindowSubclass(GetDlgItem(window, IDC_ENVELOPE), envelopeFrameProc, kEnvelopeSubclass, 0);

    refreshMainControls(window);
    SetTimer(window, kStatusTimer, 300, nullptr);
    fillFileDialogRecords(window, app);
    installEditKeys(app);
    setUpMidi(window, app);
    // A recovery copy that a shutdown left is offered once the window shows.
    PostMessageA(window, WM_COMMAND, IDM_OFFER_RECOVERY, 0);
    return TRUE;
}

// The program ends as the user chose: no recovery copy is offered later.
void endProgram(HWND window) {
    forgetRecoveryCopy();
    removeEditKeys();
    EndDialog(window, 1);
}

// A side dialog, modal and owned by the main window; it gets the App.
void openDialog(HWND window, App& app, const char* name, DLGPROC proc) {
    DialogBoxParamA(app.appInstance, name, window, proc, reinterpret_cast<LPARAM>(&app));
}

void onCommand(HWND window, App& app, int id) {
    Synth& s = *app.synth;
    switch (id) {
        case IDOK:
        case IDCANCEL:
            if (documentChanged(s) ? mayDiscardDocument(window, app)
                                   : MessageBoxA(window, "Really quit?", "Question.", MB_YESNO | MB_ICONQUESTION) == IDYES)
                endProgram(window);
            return;
        case IDM_EXIT:
            if (mayDiscardDocument(window, app)) endProgram(window);
            return;
        case IDM_UNDO:
        case IDM_REDO:
            if (id == IDM_UNDO ? undo(s) : redo(s)) showUndone(window);
            return;
        case IDM_OFFER_RECOVERY:
            if (offerRecoveryCopy(window, app)) rebuildUnitTabs(window);
            return;
        case IDC_PLAY:
            // Greyed while the output plays; Play and Stop are MIDI clock's while synced.
            if (playCommand(app)) setOutputMenus(window, false);
            return;
        case IDC_STOP:
            if (stopCommand(app)) setOutputMenus(window, true);
            return;
        case kSyncBox: CheckDlgButton(window, kSyncBox, onSyncClicked(s) ? BST_CHECKED : BST_UNCHECKED); return;
        case IDC_OSC1_LOAD: loadUserWaveFile(app); return;
        case IDM_LOAD_PATTERN: loadPattern(window, app); return;
        case IDM_SAVE_PATTERN: saveDocumentAs(window, app); return;
        case IDM_STREAM_TO_DISK:
            suspendMidiStream(app);
            streamToDiskCommand(window, app);
            resumeMidiStream(app);
            return;
        case IDM_EXPORT_MIDI: exportMidiCommand(window, app); return;
        case IDM_IMPORT_MIDI:
            // The imported song is in no pattern file yet: untitled, unsaved.
            if (!mayDiscardDocument(window, app) || !importMidiCommand(window, app)) return;
            rebuildUnitTabs(window);
            forgetSaved(s);
            documentLoaded(app, "");
            return;
        case IDM_PATTERN_EDIT: openDialog(window, app, IDD_PITCH, stepEditorProc); return;
        case IDM_SONG_EDIT: openDialog(window, app, IDD_SONG, songDialogProc); return;
        case IDM_SONG_MODE:
            setSongMode(s, !songModeOn(s));
            showSongModeCheck(app);
            return;
        case IDM_FX_SETUP: openDialog(window, app, IDD_FX, fxDialogProc); return;
        case IDM_ABOUT: openDialog(window, app, IDD_ABOUT, aboutDialogProc); return;
        case IDM_OUTPUT_DEVICE:
        case IDM_RESPONSE:
            suspendMidiStream(app);
            if (id == IDM_OUTPUT_DEVICE)
                openDialog(window, app, IDD_WAVSELECT, deviceDialogProc);
            else
                openDialog(window, app, IDD_BUFSIZE, responseDialogProc);
            resumeMidiStream(app);
            return;
        case IDM_MIDI:
            openDialog(window, app, IDD_MIDI, midiDialogProc);
            setOutputMenus(window, !app.midi.sequencerPlays);
            return;
        case IDM_PATTERN_COPY: copyPattern(s); return;
        case IDM_PATTERN_PASTE: pastePattern(s); return;
        case IDM_UNIT_ADD:
            if (!addUnit(s)) {
                error(window, "Maximum # reached");
                return;
            }
            addUnitTab(window, s.score.doc.unitCount - 1);
            return;
        case IDM_UNIT_DELETE:
            if (deleteCurrentUnit(s)) rebuildUnitTabs(window);
            return;
        case IDM_SETTINGS_COPY: copySettings(s); return;
        case IDM_SETTINGS_PASTE:
            pasteSettings(s, s.selection.settingsSource);
            refreshMainControls(window);
            return;
        default: break;
    }
    if (id >= kFirstLinkButton && id < kFirstLinkButton + kMaxUnitsInUse) {
        const LinkState state = onLinkClicked(s, id);
        if (state != kLinkOwn) CheckDlgButton(window, id, state == kLinkOn ? BST_CHECKED : BST_UNCHECKED);
        return;
    }
    onChoiceClicked(s, id);
}

void onScroll(HWND window, App& app, HWND slider) {
    if (!slider) return;
    const int id = GetDlgCtrlID(slider);
    const int position = static_cast<int16_t>(SendMessageA(slider, TBM_GETPOS, 0, 0));
    if (id == kTempoSlider) showTempo(window, position);
    if (onSliderScrolled(*app.synth, id, position)) drawEnvelope(window);
}

void onStatusTimer(HWND window, App& app) {
    const StatusTexts t = refreshStatus(app.audio, app.synth->engine);
    SetDlgItemTextA(window, IDC_CPU, t.cpu.c_str());
    SetDlgItemTextA(window, IDC_VOL_LEFT, t.left.c_str());
    SetDlgItemTextA(window, IDC_VOL_RIGHT, t.right.c_str());
    SetDlgItemTextA(window, IDC_PLAYING, playingStatus(*app.synth).c_str());
    refreshMidiStatus(window, app);
}

// Tests cannot read another process's menu: this message answers which of
// the three output commands are enabled (bits 1, 2 and 4).
UINT outputMenuQuery() {
    static const UINT message = RegisterWindowMessageA("Velmor.OutputMenuState");
    return message;
}

// ... and this one the state of the menu item whose command is wParam, as
// GetMenuState gives it (MF_CHECKED 8, MF_GRAYED 1; -1 for no such item).
UINT menuItemQuery() {
    static const UINT message = RegisterWindowMessageA("Velmor.MenuItemState");
    return message;
}

// ... and this one the text of that item, as a global atom the asker deletes.
UINT menuTextQuery() {
    static const UINT message = RegisterWindowMessageA("Velmor.MenuItemText");
    return message;
}

LRESULT outputMenuState(HWND window) {
    HMENU menu = GetMenu(window);
    LRESULT bits = 0;
    for (int i = 0; i < 3; ++i)
        if (!(GetMenuState(menu, kOutputMenus[i], MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED))) bits |= LRESULT{1} << i;
    return bits;
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        return setUp(window, *reinterpret_cast<App*>(lParam));
    }
    App* app = reinterpret_cast<App*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!app || !app->synth) return FALSE;
    // While a stream renders, nothing may change the state it renders from.
    if (app->streaming && (message == WM_COMMAND || message == WM_HSCROLL || message == WM_VSCROLL ||
                           (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_UNIT_TABS)))
        return message == WM_COMMAND;
    switch (message) {
        case WM_COMMAND: {
            // Only the low 16 bits, the control or command id, are looked at.
            const int id = LOWORD(wParam);
            onCommand(window, *app, id);
            if (IsWindow(window)) showDocumentState(*app);
            return id == IDOK || id == IDCANCEL;
        }
        case WM_HSCROLL:
        case WM_VSCROLL:
            onScroll(window, *app, reinterpret_cast<HWND>(lParam));
            showDocumentState(*app);
            return FALSE;
        case WM_NOTIFY: {
            const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
            if (header->idFrom == IDC_UNIT_TABS && header->code == TCN_SELCHANGE) {
                selectUnit(*app->synth, static_cast<int>(SendDlgItemMessageA(window, IDC_UNIT_TABS, TCM_GETCURSEL, 0, 0)));
                refreshMainControls(window);
            }
            return FALSE;
        }
        case WM_TIMER:
            onStatusTimer(window, *app);
            showDocumentState(*app);  // edits in the side dialogs and from outside
            return FALSE;
        case WM_QUERYENDSESSION:
            writeRecoveryCopy(*app);
            SetWindowLongPtrA(window, DWLP_MSGRESULT, TRUE);
            return TRUE;
        case WM_ENDSESSION:
            // Windows ends: the recovery copy stays for the next start.
            if (wParam) {
                removeEditKeys();
                EndDialog(window, 1);
            } else {
                forgetRecoveryCopy();
            }
            return TRUE;
        case WM_PAINT: drawEnvelope(window); return FALSE;
        default: break;
    }
    if (message == outputMenuQuery()) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, outputMenuState(window));
        return TRUE;
    }
    LRESULT answer = 0;
    if (answerMidiQuery(*app, message, wParam, answer)) {
        SetWindowLongPtrA(window, DWLP_MSGRESULT, answer);
        return TRUE;
    }
    if (message == menuItemQuery()) {
        const UINT state = GetMenuState(GetMenu(window), static_cast<UINT>(wParam), MF_BYCOMMAND);
        SetWindowLongPtrA(window, DWLP_MSGRESULT, state == static_cast<UINT>(-1) ? -1 : static_cast<LRESULT>(state));
        return TRUE;
    }
    if (message == menuTextQuery()) {
        char text[256] = {};
        const bool found = GetMenuStringA(GetMenu(window), static_cast<UINT>(wParam), text, sizeof text, MF_BYCOMMAND) > 0;
        SetWindowLongPtrA(window, DWLP_MSGRESULT, found ? GlobalAddAtomA(text) : 0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace velmor
