// velmor-driver: works the running program's windows the way a user would
// and reads back what they show. Run under the same Wine prefix (or on the
// same Windows desktop) as velmor.exe.
//
// It reads one action per line from stdin, its words separated by tabs, and
// answers each with one line on stdout: what the action read, or "-". The
// first action that fails or times out says why on stderr and ends the
// driver with exit status 1. The actions are listed in tests/e2e/README.md.

#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <mmsystem.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "velmor_version.h"

namespace {

constexpr UINT kSendTimeoutMs = 20000;
constexpr int kFileNameCombo = 0x47C;  // the file name box of the common file dialogs
constexpr int kFileNameEdit = 0x480;   // the same in the old-style dialogs
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kUnitTabs = 1061;  // the main window's tab control

std::string g_mainTitle = "Velmor V" VELMOR_VERSION_TEXT;  // or --title
std::string g_files;                                       // the folder that file names are relative to
HWND g_dialog = nullptr;                                   // the dialog that `dialog` chose, or null for the main window
std::string g_dialogTitle;

struct Failure {
    std::string what;
};

// The MIDI messages posted to the program in this run, and how many it had
// received before the first.
std::vector<std::vector<unsigned>> g_midiSent;
LRESULT g_midiBase = 0;

[[noreturn]] void fail(const std::string& what) { throw Failure{what}; }

std::string className(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

// WM_GETTEXT works across processes (GetWindowText would not ask the window).
std::string windowText(HWND w) {
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, kSendTimeoutMs, &copied))
        fail("a window does not answer WM_GETTEXT");
    return std::string(text, std::min<size_t>(copied, sizeof text - 1));
}

// The visible top-level dialog windows with their titles.
BOOL CALLBACK collectDialog(HWND w, LPARAM param) {
    if (IsWindowVisible(w) && className(w) == "#32770") {
        char title[512] = {};
        GetWindowTextA(w, title, sizeof title);  // a top-level title is known without asking
        reinterpret_cast<std::vector<std::pair<HWND, std::string>>*>(param)->push_back({w, title});
    }
    return TRUE;
}

std::vector<std::pair<HWND, std::string>> visibleDialogs() {
    std::vector<std::pair<HWND, std::string>> all;
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND findDialog(const std::string& title) {
    for (const auto& [w, t] : visibleDialogs())
        if (t == title) return w;
    return nullptr;
}

// The main window: titled TITLE, or TITLE, " - " and a file name; either
// with " *" while the work is unsaved.
HWND mainWindow() {
    const std::string prefix = g_mainTitle + " - ";
    for (const auto& [w, t] : visibleDialogs())
        if (t == g_mainTitle || t == g_mainTitle + " *" || t.compare(0, prefix.size(), prefix) == 0) return w;
    fail("no main window titled \"" + g_mainTitle + "\"");
}

// The window the control actions address.
HWND target() {
    if (!g_dialog) return mainWindow();
    if (!IsWindow(g_dialog) || !IsWindowVisible(g_dialog)) fail("the dialog \"" + g_dialogTitle + "\" is gone");
    return g_dialog;
}

HWND control(HWND parent, long id) {
    HWND c = GetDlgItem(parent, static_cast<int>(id));
    if (!c) fail("no control " + std::to_string(id));
    return c;
}

LRESULT send(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        fail("the window does not answer message " + std::to_string(message));
    return static_cast<LRESULT>(result);
}

void post(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!PostMessageA(w, message, wParam, lParam)) fail("cannot post to the window");
}

// Polls `ready` every 20 ms until it holds or `ms` have passed.
template <typename Ready>
bool waitFor(DWORD ms, Ready ready) {
    for (const DWORD start = GetTickCount(); !ready(); Sleep(20))
        if (GetTickCount() - start >= ms) return false;
    return true;
}

HWND waitDialog(const std::string& title, DWORD ms) {
    HWND found = nullptr;
    if (!waitFor(ms, [&] { return (found = findDialog(title)) != nullptr; }))
        fail("no window titled \"" + title + "\" within " + std::to_string(ms) + " ms");
    return found;
}

// The first descendant of `parent` with the id and class, however deep.
HWND descendant(HWND parent, int id, const char* kind) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(c) == id && className(c) == kind) return c;
        if (HWND d = descendant(c, id, kind)) return d;
    }
    return nullptr;
}

// Every slider position and button check state of the main window, by
// control id (push buttons always read 0).
std::string dump() {
    std::vector<std::pair<int, std::string>> values;
    for (HWND c = GetWindow(mainWindow(), GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const std::string kind = className(c);
        if (kind == TRACKBAR_CLASSA || kind == "Button")
            values.push_back({GetDlgCtrlID(c), std::to_string(send(c, kind == "Button" ? BM_GETCHECK : TBM_GETPOS, 0, 0))});
    }
    std::sort(values.begin(), values.end());
    std::string all;
    for (const auto& [id, value] : values) all.append(all.empty() ? "" : " ").append(std::to_string(id)).append(":").append(value);
    return all;
}

// A file name relative to the files folder, with Windows separators.
std::string filePath(std::string name) {
    std::replace(name.begin(), name.end(), '/', '\\');
    return name.size() > 1 && name[1] == ':' ? name : g_files + "\\" + name;
}

// Clicks an arrow of an up-down control. The control asks its parent
// through WM_NOTIFY, which only its own process can send: the click is made
// with mouse messages at the arrow instead.
void spin(HWND window, HWND updown, const std::string& arrow) {
    RECT r{};
    GetClientRect(updown, &r);
    const bool first = arrow == "up" || arrow == "left", across = arrow == "left" || arrow == "right";
    if (!first && !across && arrow != "down") fail("no arrow \"" + arrow + "\" (up, down, left, right)");
    const int x = across ? (first ? r.right / 4 : r.right - 1 - r.right / 4) : r.right / 2;
    const int y = across ? r.bottom / 2 : (first ? r.bottom / 4 : r.bottom - 1 - r.bottom / 4);
    post(updown, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    post(updown, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    send(updown, WM_NULL, 0, 0);
    send(window, WM_NULL, 0, 0);
}

// List boxes and combo boxes answer the same questions with their own
// messages.
struct ListMessages {
    UINT count, getSelection, setSelection, textLength, text;
    WORD changed;
};

ListMessages listMessages(HWND c) {
    const std::string kind = className(c);
    if (kind == "ListBox") return {LB_GETCOUNT, LB_GETCURSEL, LB_SETCURSEL, LB_GETTEXTLEN, LB_GETTEXT, LBN_SELCHANGE};
    if (kind == "ComboBox") return {CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXTLEN, CB_GETLBTEXT, CBN_SELCHANGE};
    fail("control " + std::to_string(GetDlgCtrlID(c)) + " is a " + kind + ", not a list box or combo box");
}

// The text of item n. Asked for in UTF-16: Wine hands another process's item
// text over in that form whichever way it is asked for.
std::string itemText(HWND c, WPARAM n) {
    const ListMessages m = listMessages(c);
    const LRESULT length = send(c, m.textLength, n, 0);
    if (length < 0 || length > 1000) fail("no item " + std::to_string(n));
    wchar_t wide[1024] = {};
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(c, m.text, n, reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, kSendTimeoutMs, &result)) fail("the control does not answer");
    char text[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr);
    return text;
}

// Selects item n as a user's choice does: the selection, then the
// notification to the dialog.
void selectItem(HWND window, HWND c, long n) {
    const ListMessages m = listMessages(c);
    send(c, m.setSelection, static_cast<WPARAM>(n), 0);
    if (send(c, m.getSelection, 0, 0) != n) fail("item " + std::to_string(n) + " cannot be selected");
    send(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), m.changed), reinterpret_cast<LPARAM>(c));
}

// A key pressed and released on a control, sent so that it has been handled
// when the action ends (a key that opens a message box cannot be pressed
// this way).
void pressKey(HWND window, HWND c, const std::string& key) {
    // clang-format off
    static const std::pair<const char*, UINT> kKeys[] = {
        {"insert", VK_INSERT}, {"delete", VK_DELETE}, {"add", VK_ADD}, {"subtract", VK_SUBTRACT},
        {"up", VK_UP},         {"down", VK_DOWN},     {"home", VK_HOME}, {"end", VK_END}
    };
    // clang-format on
    const auto named = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const auto& k) { return key == k.first; });
    if (named == std::end(kKeys)) fail("no key \"" + key + "\"");
    const UINT code = named->second;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(code, MAPVK_VK_TO_VSC)) << 16;
    send(c, WM_KEYDOWN, code, 1 | scan);
    send(c, WM_KEYUP, code, 1 | scan | (LPARAM{3} << 30));
    send(window, WM_NULL, 0, 0);
}

// MIDI as winmm delivers it to the program's input window: each message
// packed into MM_MIM_DATA's lParam, status first.
LRESULT askMain(const char* name, WPARAM wParam) { return send(mainWindow(), RegisterWindowMessageA(name), wParam, 0); }

void postMidi(const std::vector<unsigned>& bytes) {
    HWND input = FindWindowA("Velmor.MidiInput", nullptr);
    if (!input) fail("no MIDI input window");
    if (g_midiSent.empty()) g_midiBase = askMain("Velmor.MidiStamp", static_cast<WPARAM>(-1));
    LPARAM packed = 0;
    for (size_t i = 0; i < bytes.size() && i < 3; ++i) packed |= static_cast<LPARAM>(bytes[i] & 0xFF) << (8 * i);
    post(input, MM_MIM_DATA, 0, packed);
    g_midiSent.push_back(bytes);
}

// MIDI clock ticks at a tempo, each at its time from the first on.
void postTicks(double bpm, long count) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const double interval = 2.5 / bpm * static_cast<double>(frequency.QuadPart);
    for (long k = 1; k <= count; ++k) {
        while (QueryPerformanceCounter(&now), static_cast<double>(now.QuadPart - start.QuadPart) < k * interval) Sleep(1);
        postMidi({0xF8});
    }
}

// The messages posted, each at the frame the program queued it at, as
// velmor-render --events reads them.
void writeMidiEvents(const std::string& name) {
    send(mainWindow(), WM_NULL, 0, 0);  // every posted message handled
    std::string text;
    for (size_t k = 0; k < g_midiSent.size(); ++k) {
        const LRESULT frame = askMain("Velmor.MidiStamp", static_cast<WPARAM>(g_midiBase + static_cast<LRESULT>(k)));
        if (frame < 0) fail("message " + std::to_string(k) + " has no frame");
        text += std::to_string(frame);
        char hex[4];
        for (unsigned b : g_midiSent[k]) text += (std::snprintf(hex, sizeof hex, " %02X", b & 0xFF), hex);
        text += "\n";
    }
    FILE* f = std::fopen(filePath(name).c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) fail("cannot write " + name);
}

// The notes the MIDI output sent, a line each as --events has them: the
// frame from the stream's start (-1: sent at a Stop), then the bytes.
void writeSentNotes(const std::string& name) {
    const LRESULT count = askMain("Velmor.MidiSent", 0);
    std::string text;
    for (LRESULT k = count > 4096 ? count - 4096 : 0; k < count; ++k) {
        const unsigned message = static_cast<unsigned>(askMain("Velmor.MidiSent", static_cast<WPARAM>(k + 2)));
        if ((message & 0xE0) != 0x80) continue;  // Note Off and Note On only
        char line[48];
        std::snprintf(line, sizeof line, "%ld %02X %02X %02X\n", static_cast<long>(askMain("Velmor.MidiSentFrame", static_cast<WPARAM>(k))),
                      message & 0xFF, (message >> 8) & 0xFF, (message >> 16) & 0xFF);
        text += line;
    }
    FILE* f = std::fopen(filePath(name).c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) fail("cannot write " + name);
}

// One action; returns what it read, or "-".
std::string act(const std::vector<std::string>& a) {
    const auto arg = [&](size_t k) -> const std::string& {
        if (k >= a.size()) fail("too few arguments");
        return a[k];
    };
    const auto number = [&](size_t k) {
        char* end = nullptr;
        const long v = std::strtol(arg(k).c_str(), &end, 0);
        if (*end != '\0') fail("not a number: " + arg(k));
        return v;
    };
    const auto ms = [&](size_t k, double fallback) { return static_cast<DWORD>((k < a.size() ? std::atof(a[k].c_str()) : fallback) * 1000.0); };
    // The values of COUNT consecutive controls from ID on, read by `read`.
    const auto series = [&](auto read) {
        const long first = number(1), count = a.size() > 2 ? number(2) : 1;
        std::string values;
        for (long id = first; id < first + count; ++id) values.append(values.empty() ? "" : " ").append(std::to_string(read(control(target(), id))));
        return values;
    };
    const std::string& name = arg(0);

    // A text on one line: line ends as spaces, trailing spaces cut.
    const auto oneLine = [](std::string text) {
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::erase(text, '\r');
        return text.erase(text.find_last_not_of(' ') + 1);
    };
    if (name == "title") return windowText(mainWindow());
    if (name == "text") return oneLine(windowText(control(target(), number(1))));
    if (name == "pos") return series([](HWND c) { return static_cast<int>(send(c, TBM_GETPOS, 0, 0)); });
    if (name == "check") return series([](HWND c) { return static_cast<int>(send(c, BM_GETCHECK, 0, 0)); });
    if (name == "count" || name == "selected") {
        HWND c = control(target(), number(1));
        const ListMessages m = listMessages(c);
        return std::to_string(send(c, name == "count" ? m.count : m.getSelection, 0, 0));
    }
    if (name == "item") return itemText(control(target(), number(1)), static_cast<WPARAM>(number(2)));
    if (name == "enabled") return IsWindowEnabled(control(target(), number(1))) ? "1" : "0";
    if (name == "tabs" || name == "tab")
        return std::to_string(send(control(mainWindow(), kUnitTabs), name == "tabs" ? TCM_GETITEMCOUNT : TCM_GETCURSEL, 0, 0));
    if (name == "menu-state") return std::to_string(send(mainWindow(), RegisterWindowMessageA("Velmor.OutputMenuState"), 0, 0));
    if (name == "menu-check" || name == "menu-grayed") {
        const LRESULT state = send(mainWindow(), RegisterWindowMessageA("Velmor.MenuItemState"), number(1), 0);
        if (state == -1) fail("no menu item for command " + arg(1));
        return (state & (name == "menu-check" ? MF_CHECKED : MF_GRAYED)) ? "1" : "0";
    }
    if (name == "menu-text") {
        // The program hands the text over as a global atom.
        const ATOM atom = static_cast<ATOM>(send(mainWindow(), RegisterWindowMessageA("Velmor.MenuItemText"), number(1), 0));
        char text[256] = {};
        if (!atom || !GlobalGetAtomNameA(atom, text, sizeof text)) fail("no menu item for command " + arg(1));
        GlobalDeleteAtom(atom);
        std::replace(std::begin(text), std::end(text), '\t', ' ');
        return text;
    }
    if (name == "send") return std::to_string(send(mainWindow(), static_cast<UINT>(number(1)), a.size() > 2 ? number(2) : 0, 0));
    if (name == "dump") return dump();
    if (name == "midi-latency") return std::to_string(askMain("Velmor.MidiKeyLatency", 0));
    if (name == "midi-sent") {
        // A message counted from the end for K below 0: -1 the last one.
        const long k = number(1);
        const LRESULT n = k < 0 ? askMain("Velmor.MidiSent", 0) + k + 2 : k;
        return std::to_string(askMain("Velmor.MidiSent", static_cast<WPARAM>(n)));
    }
    if (name == "exists") return findDialog(arg(1)) ? "1" : "0";
    if (name == "message") return oneLine(windowText(control(waitDialog(arg(1), ms(2, 10)), kMessageBoxText)));
    if (name == "file-size") {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(filePath(arg(1)).c_str(), GetFileExInfoStandard, &data)) fail("cannot read the size of " + arg(1));
        return std::to_string((static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }

    if (name == "wait-window") {
        waitDialog(arg(1), ms(2, 10));
    } else if (name == "wait-gone") {
        if (!waitFor(ms(2, 10), [&] { return findDialog(arg(1)) == nullptr; })) fail("the window \"" + arg(1) + "\" is still there");
    } else if (name == "wait-text") {
        HWND c = control(mainWindow(), number(1));
        std::string last;
        if (!waitFor(ms(3, 10), [&] { return (last = windowText(c)) == arg(2); }))
            fail("control " + arg(1) + " reads \"" + last + "\", not \"" + arg(2) + "\"");
    } else if (name == "wait-enabled") {
        HWND main = mainWindow();
        if (!waitFor(ms(1, 60), [&] { return IsWindowEnabled(main) != FALSE; })) fail("the main window stays disabled");
        send(main, WM_NULL, 0, 0);
    } else if (name == "select") {
        HWND window = target();
        selectItem(window, control(window, number(1)), number(2));
    } else if (name == "key") {
        HWND window = target(), c = control(window, number(1));
        for (long n = a.size() > 3 ? number(3) : 1; n > 0; --n) pressKey(window, c, arg(2));
    } else if (name == "keys") {
        // Keys as the user types them, into the window addressed (focused first).
        HWND window = target();
        SetForegroundWindow(window);
        waitFor(2000, [&] { return GetForegroundWindow() == window; });
        const std::string& k = arg(1);
        std::vector<BYTE> held;
        if (k.find("ctrl+") != std::string::npos) held.push_back(VK_CONTROL);
        if (k.find("shift+") != std::string::npos) held.push_back(VK_SHIFT);
        held.push_back(static_cast<BYTE>(std::toupper(k.back())));
        for (BYTE key : held) keybd_event(key, 0, 0, 0);
        for (auto key = held.rbegin(); key != held.rend(); ++key) keybd_event(*key, 0, KEYEVENTF_KEYUP, 0);
        Sleep(100);
        send(window, WM_NULL, 0, 0);  // until the keys are handled
    } else if (name == "sleep") {
        Sleep(static_cast<DWORD>(std::max(0L, number(1))));
    } else if (name == "set") {
        HWND window = target(), slider = control(window, number(1));
        const long position = number(2);
        send(slider, TBM_SETPOS, TRUE, position);
        const bool vertical = (GetWindowLongA(slider, GWL_STYLE) & TBS_VERT) != 0;
        send(window, vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)), reinterpret_cast<LPARAM>(slider));
    } else if (name == "click") {
        send(control(target(), number(1)), BM_CLICK, 0, 0);
    } else if (name == "command") {
        send(target(), WM_COMMAND, static_cast<WPARAM>(number(1)) & 0xFFFF, 0);
    } else if (name == "post") {
        post(target(), WM_COMMAND, static_cast<WPARAM>(number(1)) & 0xFFFF, 0);
    } else if (name == "select-tab") {
        HWND tabs = control(mainWindow(), kUnitTabs);
        send(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(number(1)), 0);
        if (send(tabs, TCM_GETCURSEL, 0, 0) != number(1)) fail("tab " + arg(1) + " is not selected");
    } else if (name == "answer") {
        HWND box = waitDialog(arg(1), 5000), button = control(box, number(2));
        post(box, WM_COMMAND, MAKEWPARAM(number(2), BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (!waitFor(10000, [&] { return !IsWindow(box) || !IsWindowVisible(box); })) fail("the message box \"" + arg(1) + "\" does not close");
    } else if (name == "file" || name == "file-enter") {
        // The edit inside the file name combo box (which the Explorer-style
        // dialog wraps in an extended combo box), or the old-style one.
        HWND dialog = waitDialog(arg(1), ms(3, 30));
        HWND box = descendant(dialog, kFileNameCombo, "Edit");
        if (!box) box = descendant(dialog, kFileNameEdit, "Edit");
        if (!box) fail("the dialog \"" + arg(1) + "\" has no file name box");
        const std::string path = filePath(arg(2));
        send(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
        post(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        // file-enter leaves the dialog to ask its own questions.
        if (name == "file-enter") return "-";
        if (!waitFor(10000, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }))
            fail("the dialog \"" + arg(1) + "\" does not close (the name refused?)");
        send(mainWindow(), WM_NULL, 0, 0);  // until the command has run
    } else if (name == "dialog") {
        g_dialogTitle = arg(1);
        g_dialog = waitDialog(g_dialogTitle, ms(2, 10));
        send(g_dialog, WM_NULL, 0, 0);  // until it has finished setting up
    } else if (name == "midi-arm") {
        askMain("Velmor.MidiTestDevices", static_cast<WPARAM>(number(1)));
    } else if (name == "midi") {
        std::vector<unsigned> bytes;
        for (size_t k = 1; k < a.size(); ++k) bytes.push_back(static_cast<unsigned>(std::strtoul(a[k].c_str(), nullptr, 16)));
        if (bytes.empty() || bytes.size() > 3) fail("one to three bytes in hex");
        postMidi(bytes);
    } else if (name == "midi-ticks") {
        postTicks(std::atof(arg(1).c_str()), number(2));
    } else if (name == "midi-events") {
        writeMidiEvents(arg(1));
    } else if (name == "midi-sent-notes") {
        writeSentNotes(arg(1));
    } else if (name == "main") {
        g_dialog = nullptr;
    } else if (name == "spin") {
        HWND window = target();
        spin(window, control(window, number(1)), arg(2));
    } else {
        fail("unknown action (see tests/e2e/README.md)");
    }
    return "-";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--title")
            g_mainTitle = argv[i + 1];
        else if (option == "--files")
            g_files = argv[i + 1];
    }
    // Plain "\n" line ends, so that scripts read the lines as they are.
    _setmode(_fileno(stdout), _O_BINARY);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words;
        for (size_t at = 0;;) {
            const size_t tab = line.find('\t', at);
            words.push_back(line.substr(at, tab - at));
            if (tab == std::string::npos) break;
            at = tab + 1;
        }
        try {
            std::printf("%s\n", act(words).c_str());
            std::fflush(stdout);
        } catch (const Failure& f) {
            std::fprintf(stderr, "velmor-driver: %s: %s\n", words[0].c_str(), f.what.c_str());
            return 1;
        }
    }
    return 0;
}
