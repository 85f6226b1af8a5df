#include "app/document_commands.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/application.h"
#include "app/save_prompts.h"
#include "app/side_dialogs.h"
#include "app/unsaved_work.h"
#include "files/pattern_file.h"
#include "resources/resource_ids.h"

namespace velmor {

namespace {

const char kPatternFilter[] = "Pattern Philes (*.pat)\0*.pat\0";
const char kRegistryKey[] = "Software\\Velmor";
const char kRecoveryCopyValue[] = "RecoveryCopy";
const char kRecoveryOfValue[] = "RecoveryOf";

HHOOK g_keyHook = nullptr;
HACCEL g_keys = nullptr;

// The windows that take the keys: the main window, the step editor, the song
// dialog.
bool takesEditKeys(HWND w) {
    const auto proc = reinterpret_cast<DLGPROC>(GetWindowLongPtrA(w, DWLP_DLGPROC));
    return proc == mainDialogProc || proc == stepEditorProc || proc == songDialogProc;
}

// Modal dialogs run their own message loops; this filter sees their
// messages before they are dispatched.
LRESULT CALLBACK editKeyFilter(int code, WPARAM wParam, LPARAM lParam) {
    MSG* m = reinterpret_cast<MSG*>(lParam);
    if (code >= 0 && m && (m->message == WM_KEYDOWN || m->message == WM_SYSKEYDOWN) && m->hwnd) {
        HWND root = GetAncestor(m->hwnd, GA_ROOT);
        if (root && takesEditKeys(root) && TranslateAcceleratorA(root, g_keys, m)) return TRUE;
    }
    return CallNextHookEx(g_keyHook, code, wParam, lParam);
}

void setMenuItem(HMENU menu, int id, const char* name, bool redo) {
    static std::string shown[2];
    const std::string text = editMenuText(redo, name);
    if (shown[redo] != text) {
        ModifyMenuA(menu, id, MF_BYCOMMAND | MF_STRING, id, text.c_str());
        shown[redo] = text;
    }
    EnableMenuItem(menu, id, MF_BYCOMMAND | (name ? MF_ENABLED : MF_GRAYED));
}

bool writeDocument(HWND window, App& app, const char* path) {
    // The save messages name the file the shared name buffer holds.
    if (path != app.fileName) std::snprintf(app.fileName, sizeof app.fileName, "%s", path);
    SaveResult r;
    if (!writePatternFile(app.synth->score.doc, app.fileName, &r)) {
        saveError(window, app, "Pattern file write error", r);
        return false;
    }
    std::memcpy(app.documentPath, app.fileName, sizeof app.documentPath);
    markSaved(*app.synth);
    forgetRecoveryCopy();
    showDocumentState(app);
    return true;
}

std::string registryText(HKEY key, const char* name) {
    char value[MAX_PATH * 2] = {};
    DWORD size = sizeof value - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS || type != REG_SZ)
        return "";
    return value;
}

}  // namespace

void installEditKeys(App& app) {
    if (g_keyHook) return;
    g_keys = LoadAcceleratorsA(app.appInstance, IDR_UNDO_KEYS);
    if (g_keys) g_keyHook = SetWindowsHookExA(WH_MSGFILTER, editKeyFilter, nullptr, GetCurrentThreadId());
}

void removeEditKeys() {
    if (g_keyHook) UnhookWindowsHookEx(g_keyHook);
    g_keyHook = nullptr;
}

void showDocumentState(App& app) {
    const Synth& s = *app.synth;
    const std::string title = documentTitle(app.documentPath, documentChanged(s));
    char shown[kFileNameSize + 64] = {};
    GetWindowTextA(app.mainWindow, shown, sizeof shown);
    if (title != shown) SetWindowTextA(app.mainWindow, title.c_str());
    HMENU menu = GetMenu(app.mainWindow);
    setMenuItem(menu, IDM_UNDO, undoName(s), false);
    setMenuItem(menu, IDM_REDO, redoName(s), true);
}

bool saveDocumentAs(HWND window, App& app) {
    app.saveFileDialog.lpstrFilter = kPatternFilter;
    if (!GetSaveFileNameA(&app.saveFileDialog)) return false;
    // The extension is appended unless present; the save dialog asked only
    // about the name as typed, so the program asks about the longer one.
    const size_t typed = std::strlen(app.fileName);
    if (!appendExtension(app.fileName, sizeof app.fileName, ".pat")) {
        MessageBoxA(window, "File name too long", "Error", MB_ICONHAND);
        return false;
    }
    if (std::strlen(app.fileName) != typed && !mayReplace(window, app)) return false;
    return writeDocument(window, app, app.fileName);
}

bool mayDiscardDocument(HWND window, App& app) {
    if (!documentChanged(*app.synth)) return true;
    const std::string question = saveChangesQuestion(app.documentPath);
    switch (MessageBoxA(window, question.c_str(), "Velmor", MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES: return app.documentPath[0] ? writeDocument(window, app, app.documentPath) : saveDocumentAs(window, app);
        case IDNO: return true;
        default: return false;
    }
}

void documentLoaded(App& app, const char* path) {
    std::snprintf(app.documentPath, sizeof app.documentPath, "%s", path);
    showDocumentState(app);
}

void writeRecoveryCopy(App& app) {
    if (!documentChanged(*app.synth)) return;
    char documents[MAX_PATH] = {};
    if (!app.documentPath[0] && SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, documents) != S_OK) return;
    const std::string path = recoveryPath(app.documentPath, documents);
    if (!writePatternFile(app.synth->score.doc, path.c_str())) return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, kRecoveryCopyValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                   static_cast<DWORD>(path.size() + 1));
    RegSetValueExA(key, kRecoveryOfValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(app.documentPath),
                   static_cast<DWORD>(std::strlen(app.documentPath) + 1));
    RegCloseKey(key);
}

void forgetRecoveryCopy() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, kRecoveryCopyValue);
    RegDeleteValueA(key, kRecoveryOfValue);
    RegCloseKey(key);
}

bool offerRecoveryCopy(HWND window, App& app) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    const std::string copy = registryText(key, kRecoveryCopyValue);
    const std::string of = registryText(key, kRecoveryOfValue);
    RegCloseKey(key);
    if (copy.empty()) return false;
    // Offered once; the file stays where it is whatever the answer.
    forgetRecoveryCopy();
    if (GetFileAttributesA(copy.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    ShowWindow(window, SW_SHOW);  // the question stands over the window
    const std::string text =
        "Windows shut down while Velmor held unsaved changes. They were kept in\n\n" + copy + "\n\nOpen them now?";
    if (MessageBoxA(window, text.c_str(), "Velmor", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    if (!loadPatternFile(*app.synth, copy.c_str())) {
        MessageBoxA(window, ("The recovery copy cannot be read:\n\n" + copy).c_str(), "Error", MB_ICONHAND);
        return false;
    }
    forgetSaved(*app.synth);
    documentLoaded(app, of.c_str());
    return true;
}

}  // namespace velmor
