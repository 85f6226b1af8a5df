// velmor-driver: drives the running program's main window from a test, the
// way a user would, and reads back what the window shows. Run under the same
// Wine prefix (or on the same Windows desktop) as velmor.exe.
//
// The arguments are a small script of actions, carried out in order. Every
// action that reads something prints one line on stdout; the others print
// nothing. The first action that fails or times out says why on stderr and
// ends the driver with exit status 1; wrong arguments give status 2.

#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: velmor-driver [--title TITLE] ACTION [ARGS]... [ACTION [ARGS]...]...\n"
    "\n"
    "The main window is the dialog window titled TITLE (default \"Velmor V1.05\")\n"
    "or, when there is none, one whose title is TITLE followed by \" - \" and a\n"
    "file name. IDs are decimal or 0x hexadecimal; SECONDS may have a fraction.\n"
    "\n"
    "Reading (one line each on stdout):\n"
    "  title                      the main window's title\n"
    "  text ID                    a control's text\n"
    "  pos ID                     a slider's position\n"
    "  check ID                   a button's check state: 0, 1, or 2 (indeterminate)\n"
    "  tabs                       the number of unit tabs\n"
    "  tab                        the selected unit tab (0-based; -1 for none)\n"
    "  menu-state                 which output commands are enabled: 1 Select Output\n"
    "                             Device, 2 Adjust Response, 4 Stream 2 Disk\n"
    "  menu-check ID              1 when the menu item of command ID is checked, else 0\n"
    "  enabled ID                 1 when a control is enabled, else 0\n"
    "  dump                       every slider (\"slider ID POS\") and every check or\n"
    "                             radio button (\"button ID STATE\"), one line each\n"
    "  exists TITLE               1 when a dialog window titled TITLE shows, else 0\n"
    "  message TITLE SECONDS      waits for a message box titled TITLE, prints its text\n"
    "\n"
    "Waiting (fails on the timeout):\n"
    "  wait-window TITLE SECONDS  until a dialog window titled TITLE shows\n"
    "  wait-gone TITLE SECONDS    until no dialog window titled TITLE shows\n"
    "  wait-text ID TEXT SECONDS  until control ID reads TEXT\n"
    "  sync                       until the main window has handled what it was sent\n"
    "  wait-enabled SECONDS       until the main window takes input again (after\n"
    "                             Stream 2 Disk)\n"
    "  sleep MILLISECONDS\n"
    "\n"
    "Other:\n"
    "  file-size PATH             the size of a file in bytes (a recording that grows,\n"
    "                             read right before and after an action)\n"
    "  controls TITLE             lists the controls of a dialog window (for finding\n"
    "                             out why an action fails)\n"
    "\n"
    "Acting:\n"
    "  set ID POS                 moves a slider: TBM_SETPOS, then the scroll message\n"
    "  click ID                   clicks a button (BM_CLICK)\n"
    "  command ID                 sends WM_COMMAND ID and waits until it is handled\n"
    "  post ID                    posts WM_COMMAND ID (for commands that open a dialog)\n"
    "  select-tab N               selects unit tab N as a click would (TCN_SELCHANGE)\n"
    "  answer TITLE BUTTON        answers the message box titled TITLE with button id\n"
    "                             BUTTON (OK 1, Yes 6, No 7) and waits until it closes\n"
    "  file TITLE PATH SECONDS    waits for the file dialog titled TITLE (\"Open\",\n"
    "                             \"Save As\"), enters PATH as the file name, presses OK,\n"
    "                             waits until it closes and the main window is idle\n"
    "\n"
    "Dialogs of the program (the step editor, Effects Setup, ...):\n"
    "  dialog TITLE SECONDS       waits for the dialog window titled TITLE; text, pos,\n"
    "                             check, set, click, command and post then address it\n"
    "                             instead of the main window\n"
    "  main                       addresses the main window again\n"
    "  spin ID ARROW              clicks an arrow of an up-down control (up, down,\n"
    "                             left, right) with posted mouse messages, then waits\n"
    "                             until its window has handled them\n"
    "  count ID                   the number of items in a list box or combo box\n"
    "  selected ID                the selected item of a list box or combo box (-1:\n"
    "                             none)\n"
    "  item ID N                  the text of item N of a list box or combo box\n"
    "  select ID N                selects item N of a list box or combo box as a\n"
    "                             user's choice does (with LBN_SELCHANGE or\n"
    "                             CBN_SELCHANGE to the dialog)\n"
    "  key ID KEY                 presses and releases a key on a control and waits\n"
    "                             until it is handled: insert, delete, add, subtract,\n"
    "                             up, down, home, end, or a virtual-key code\n"
    "  has-text TEXT              1 when a control of the window reads TEXT, else 0\n";

constexpr UINT kSendTimeoutMs = 20000;
constexpr int kFileNameCombo = 0x47C;  // the file name box of the common file dialogs
constexpr int kFileNameEdit = 0x480;   // the same in the old-style dialogs
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kUnitTabs = 1061;  // the main window's tab control

std::string g_mainTitle = "Velmor V1.05";

struct Failure {
    std::string what;
};

[[noreturn]] void fail(const std::string& what) { throw Failure{what}; }

bool parseInt(const char* text, long& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    value = std::strtol(text, &end, 0);
    return *end == '\0';
}

bool parseSeconds(const char* text, DWORD& ms) {
    if (!text || !*text) return false;
    char* end = nullptr;
    const double s = std::strtod(text, &end);
    if (*end != '\0' || !(s >= 0.0) || s > 3600.0) return false;
    ms = static_cast<DWORD>(s * 1000.0 + 0.5);
    return true;
}

std::string className(HWND w) {
    char name[64] = {};
    GetClassNameA(w, name, sizeof name);
    return name;
}

// WM_GETTEXT works across processes (GetWindowText would not ask the window).
std::string windowText(HWND w) {
    char text[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                             kSendTimeoutMs, &copied))
        fail("a window does not answer WM_GETTEXT");
    return std::string(text, std::min<size_t>(copied, sizeof text - 1));
}

// The visible top-level dialog windows, with their titles.
struct Found {
    HWND window;
    std::string title;
};

BOOL CALLBACK collectDialog(HWND w, LPARAM param) {
    if (IsWindowVisible(w) && className(w) == "#32770") {
        char title[512] = {};
        GetWindowTextA(w, title, sizeof title);  // a top-level title is known without asking
        reinterpret_cast<std::vector<Found>*>(param)->push_back({w, title});
    }
    return TRUE;
}

std::vector<Found> visibleDialogs() {
    std::vector<Found> all;
    EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&all));
    return all;
}

HWND findDialog(const std::string& title) {
    for (const Found& f : visibleDialogs())
        if (f.title == title) return f.window;
    return nullptr;
}

HWND findMain() {
    if (HWND w = FindWindowA("#32770", g_mainTitle.c_str()); w && IsWindowVisible(w)) return w;
    const std::string prefix = g_mainTitle + " - ";
    for (const Found& f : visibleDialogs())
        if (f.title.compare(0, prefix.size(), prefix) == 0) return f.window;
    return nullptr;
}

HWND mainWindow() {
    HWND w = findMain();
    if (!w) fail("no main window titled \"" + g_mainTitle + "\"");
    return w;
}

// The dialog that `dialog` chose, or null for the main window.
HWND g_dialog = nullptr;
std::string g_dialogTitle;

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
        fail("the window does not answer within " + std::to_string(kSendTimeoutMs / 1000) + " s (message " +
             std::to_string(message) + ")");
    return static_cast<LRESULT>(result);
}

void post(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!PostMessageA(w, message, wParam, lParam)) fail("cannot post to the window");
}

// Polls `ready` every 20 ms until it holds or `ms` have passed.
template <typename Ready>
bool waitFor(DWORD ms, Ready ready) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (ready()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(20);
    }
}

HWND waitDialog(const std::string& title, DWORD ms) {
    HWND found = nullptr;
    if (!waitFor(ms, [&] { return (found = findDialog(title)) != nullptr; }))
        fail("no window titled \"" + title + "\" within " + std::to_string(ms) + " ms");
    return found;
}

// The first descendant of `parent` with the id and class, however deep.
struct ChildSearch {
    int id;
    const char* className;
    HWND found;
};

BOOL CALLBACK matchChild(HWND w, LPARAM param) {
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (GetDlgCtrlID(w) == search->id && className(w) == search->className) {
        search->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND descendant(HWND parent, int id, const char* className) {
    ChildSearch search{id, className, nullptr};
    EnumChildWindows(parent, matchChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The text of a message box: its text static, or else every static's text.
std::string messageText(HWND box) {
    if (HWND text = GetDlgItem(box, kMessageBoxText)) return windowText(text);
    std::string all;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (className(c) != "Static") continue;
        const std::string t = windowText(c);
        if (t.empty()) continue;
        if (!all.empty()) all += ' ';
        all += t;
    }
    return all;
}

bool isCheckable(HWND c) {
    if (className(c) != "Button") return false;
    switch (GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK) {
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
        case BS_RADIOBUTTON:
        case BS_AUTORADIOBUTTON:
        case BS_3STATE:
        case BS_AUTO3STATE: return true;
        default: return false;
    }
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
    if (kind == "ComboBox")
        return {CB_GETCOUNT, CB_GETCURSEL, CB_SETCURSEL, CB_GETLBTEXTLEN, CB_GETLBTEXT, CBN_SELCHANGE};
    fail("control " + std::to_string(GetDlgCtrlID(c)) + " is a " + kind + ", not a list box or combo box");
}

UINT keyCode(const std::string& name) {
    static const std::pair<const char*, UINT> kKeys[] = {
        {"insert", VK_INSERT}, {"delete", VK_DELETE}, {"add", VK_ADD}, {"subtract", VK_SUBTRACT},
        {"up", VK_UP},         {"down", VK_DOWN},     {"home", VK_HOME}, {"end", VK_END},
    };
    for (const auto& k : kKeys)
        if (name == k.first) return k.second;
    long code;
    if (parseInt(name.c_str(), code) && code > 0 && code < 256) return static_cast<UINT>(code);
    fail("no key \"" + name + "\"");
}

void dump(HWND main) {
    std::vector<std::pair<int, std::string>> lines;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        if (className(c) == TRACKBAR_CLASSA)
            lines.push_back({id, "slider " + std::to_string(id) + " " +
                                     std::to_string(static_cast<int>(send(c, TBM_GETPOS, 0, 0)))});
        else if (isCheckable(c))
            lines.push_back({id, "button " + std::to_string(id) + " " + std::to_string(send(c, BM_GETCHECK, 0, 0))});
    }
    std::sort(lines.begin(), lines.end());
    for (const auto& line : lines) std::printf("%s\n", line.second.c_str());
}

void listControls(HWND parent, int depth) {
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        std::printf("%*s0x%X %s \"%s\"\n", 2 * depth, "", static_cast<unsigned>(GetDlgCtrlID(c)), className(c).c_str(),
                    windowText(c).c_str());
        listControls(c, depth + 1);
    }
}

void print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

void print(long long value) { print(std::to_string(value)); }

// Runs the actions; returns the exit status.
int run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    size_t i = 0;
    const auto need = [&](size_t count) {
        if (i + count >= args.size()) {
            std::fprintf(stderr, "velmor-driver: %s needs %zu argument(s) (see --help)\n", args[i].c_str(), count);
            std::exit(2);
        }
    };
    const auto number = [&](size_t k) {
        long v;
        if (!parseInt(args[i + k].c_str(), v)) {
            std::fprintf(stderr, "velmor-driver: %s: not a number: %s\n", args[i].c_str(), args[i + k].c_str());
            std::exit(2);
        }
        return v;
    };
    const auto seconds = [&](size_t k) {
        DWORD ms;
        if (!parseSeconds(args[i + k].c_str(), ms)) {
            std::fprintf(stderr, "velmor-driver: %s: not a time in seconds: %s\n", args[i].c_str(),
                         args[i + k].c_str());
            std::exit(2);
        }
        return ms;
    };
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        try {
            if (a == "--help" || a == "-h") {
                std::fputs(kUsage, stdout);
            } else if (a == "--title") {
                need(1);
                g_mainTitle = args[++i];
            } else if (a == "title") {
                print(windowText(mainWindow()));
            } else if (a == "text") {
                need(1);
                print(windowText(control(target(), number(1))));
                i += 1;
            } else if (a == "pos") {
                need(1);
                print(static_cast<int>(send(control(target(), number(1)), TBM_GETPOS, 0, 0)));
                i += 1;
            } else if (a == "check") {
                need(1);
                print(send(control(target(), number(1)), BM_GETCHECK, 0, 0));
                i += 1;
            } else if (a == "tabs" || a == "tab") {
                HWND tabs = control(mainWindow(), kUnitTabs);
                print(static_cast<int>(send(tabs, a == "tabs" ? TCM_GETITEMCOUNT : TCM_GETCURSEL, 0, 0)));
            } else if (a == "menu-state") {
                const UINT query = RegisterWindowMessageA("Velmor.OutputMenuState");
                print(send(mainWindow(), query, 0, 0));
            } else if (a == "menu-check") {
                need(1);
                const UINT query = RegisterWindowMessageA("Velmor.MenuItemState");
                const LRESULT state = send(mainWindow(), query, static_cast<WPARAM>(number(1)), 0);
                if (state == -1) fail("no menu item for command " + args[i + 1]);
                print((state & MF_CHECKED) ? 1 : 0);
                i += 1;
            } else if (a == "enabled") {
                need(1);
                print(IsWindowEnabled(control(target(), number(1))) ? 1 : 0);
                i += 1;
            } else if (a == "wait-enabled") {
                need(1);
                HWND main = mainWindow();
                if (!waitFor(seconds(1), [&] { return IsWindowEnabled(main) != FALSE; }))
                    fail("the main window stays disabled");
                send(main, WM_NULL, 0, 0);
                i += 1;
            } else if (a == "dump") {
                dump(mainWindow());
                std::fflush(stdout);
            } else if (a == "controls") {
                need(1);
                HWND dialog = waitDialog(args[i + 1], 0);
                listControls(dialog, 0);
                i += 1;
            } else if (a == "exists") {
                need(1);
                print(findDialog(args[i + 1]) ? 1 : 0);
                i += 1;
            } else if (a == "message") {
                need(2);
                print(messageText(waitDialog(args[i + 1], seconds(2))));
                i += 2;
            } else if (a == "wait-window") {
                need(2);
                waitDialog(args[i + 1], seconds(2));
                i += 2;
            } else if (a == "wait-gone") {
                need(2);
                const std::string title = args[i + 1];
                if (!waitFor(seconds(2), [&] { return findDialog(title) == nullptr; }))
                    fail("the window \"" + title + "\" is still there");
                i += 2;
            } else if (a == "wait-text") {
                need(3);
                const std::string wanted = args[i + 2];
                HWND c = control(mainWindow(), number(1));
                std::string last;
                if (!waitFor(seconds(3), [&] { return (last = windowText(c)) == wanted; }))
                    fail("control " + args[i + 1] + " reads \"" + last + "\", not \"" + wanted + "\"");
                i += 3;
            } else if (a == "sync") {
                send(mainWindow(), WM_NULL, 0, 0);
            } else if (a == "file-size") {
                need(1);
                WIN32_FILE_ATTRIBUTE_DATA data;
                if (!GetFileAttributesExA(args[i + 1].c_str(), GetFileExInfoStandard, &data))
                    fail("cannot read the size of " + args[i + 1]);
                print((static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
                i += 1;
            } else if (a == "sleep") {
                need(1);
                Sleep(static_cast<DWORD>(std::max(0L, number(1))));
                i += 1;
            } else if (a == "set") {
                need(2);
                HWND main = target();
                HWND slider = control(main, number(1));
                const long position = number(2);
                send(slider, TBM_SETPOS, TRUE, position);
                const bool vertical = (GetWindowLongA(slider, GWL_STYLE) & TBS_VERT) != 0;
                send(main, vertical ? WM_VSCROLL : WM_HSCROLL,
                     MAKEWPARAM(SB_THUMBPOSITION, static_cast<WORD>(position)), reinterpret_cast<LPARAM>(slider));
                i += 2;
            } else if (a == "click") {
                need(1);
                send(control(target(), number(1)), BM_CLICK, 0, 0);
                i += 1;
            } else if (a == "command" || a == "post") {
                need(1);
                const WPARAM id = static_cast<WPARAM>(number(1)) & 0xFFFF;
                if (a == "command")
                    send(target(), WM_COMMAND, id, 0);
                else
                    post(target(), WM_COMMAND, id, 0);
                i += 1;
            } else if (a == "select-tab") {
                need(1);
                HWND tabs = control(mainWindow(), kUnitTabs);
                const long n = number(1);
                send(tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(n), 0);
                if (send(tabs, TCM_GETCURSEL, 0, 0) != n) fail("tab " + std::to_string(n) + " is not selected");
                i += 1;
            } else if (a == "answer") {
                need(2);
                const std::string title = args[i + 1];
                HWND box = waitDialog(title, 5000);
                const long id = number(2);
                HWND button = GetDlgItem(box, static_cast<int>(id));
                if (!button) fail("the message box \"" + title + "\" has no button " + std::to_string(id));
                post(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
                if (!waitFor(10000, [&] { return !IsWindow(box) || !IsWindowVisible(box); }))
                    fail("the message box \"" + title + "\" does not close");
                i += 2;
            } else if (a == "file") {
                need(3);
                const std::string title = args[i + 1];
                const std::string path = args[i + 2];
                HWND dialog = waitDialog(title, seconds(3));
                // The edit inside the file name combo box (which the
                // Explorer-style dialog wraps in an extended combo box), or
                // the old-style dialog's file name edit.
                HWND name = descendant(dialog, kFileNameCombo, "Edit");
                if (!name) name = descendant(dialog, kFileNameEdit, "Edit");
                if (!name) fail("the dialog \"" + title + "\" has no file name box");
                send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
                if (windowText(name) != path) fail("the file name box does not take the name");
                post(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                if (!waitFor(10000, [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }))
                    fail("the dialog \"" + title + "\" does not close (the name refused?)");
                send(mainWindow(), WM_NULL, 0, 0);
                i += 3;
            } else if (a == "dialog") {
                need(2);
                g_dialogTitle = args[i + 1];
                g_dialog = waitDialog(g_dialogTitle, seconds(2));
                send(g_dialog, WM_NULL, 0, 0);  // until it has finished setting up
                i += 2;
            } else if (a == "main") {
                g_dialog = nullptr;
            } else if (a == "spin") {
                need(2);
                HWND window = target();
                HWND spin = control(window, number(1));
                const std::string arrow = args[i + 2];
                RECT r{};
                GetClientRect(spin, &r);
                const int w = r.right - r.left, h = r.bottom - r.top;
                int x = w / 2, y = h / 2;
                if (arrow == "up") y = h / 4;
                else if (arrow == "down") y = h - 1 - h / 4;
                else if (arrow == "left") x = w / 4;
                else if (arrow == "right") x = w - 1 - w / 4;
                else fail("no arrow \"" + arrow + "\" (up, down, left, right)");
                // The control asks its parent through WM_NOTIFY (UDN_DELTAPOS),
                // which only its own process can send: the click is made with
                // mouse messages at the arrow instead.
                post(spin, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
                post(spin, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
                send(spin, WM_NULL, 0, 0);
                send(window, WM_NULL, 0, 0);
                i += 2;
            } else if (a == "count" || a == "selected") {
                need(1);
                HWND c = control(target(), number(1));
                const ListMessages m = listMessages(c);
                print(static_cast<int>(send(c, a == "count" ? m.count : m.getSelection, 0, 0)));
                i += 1;
            } else if (a == "item") {
                need(2);
                HWND c = control(target(), number(1));
                const ListMessages m = listMessages(c);
                const WPARAM n = static_cast<WPARAM>(number(2));
                const LRESULT length = send(c, m.textLength, n, 0);
                if (length < 0 || length > 1000) fail("no item " + args[i + 2]);
                // Asked for in UTF-16: Wine hands another process's item
                // text over in that form whichever way it is asked for.
                wchar_t wide[1024] = {};
                DWORD_PTR result = 0;
                if (!SendMessageTimeoutW(c, m.text, n, reinterpret_cast<LPARAM>(wide), SMTO_NORMAL, kSendTimeoutMs,
                                         &result))
                    fail("the control does not answer");
                char text[1024] = {};
                WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text - 1, nullptr, nullptr);
                print(text);
                i += 2;
            } else if (a == "select") {
                need(2);
                HWND dialog = target();
                HWND c = control(dialog, number(1));
                const ListMessages m = listMessages(c);
                const long n = number(2);
                send(c, m.setSelection, static_cast<WPARAM>(n), 0);
                if (send(c, m.getSelection, 0, 0) != n) fail("item " + args[i + 2] + " cannot be selected");
                send(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), m.changed), reinterpret_cast<LPARAM>(c));
                i += 2;
            } else if (a == "key") {
                need(2);
                HWND window = target();
                HWND c = control(window, number(1));
                const UINT key = keyCode(args[i + 2]);
                const UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
                // Sent, so that the key has been handled when the action ends
                // (a key that opens a message box cannot be pressed this way).
                send(c, WM_KEYDOWN, key, 1 | (static_cast<LPARAM>(scan) << 16));
                send(c, WM_KEYUP, key, 1 | (static_cast<LPARAM>(scan) << 16) | (LPARAM{3} << 30));
                send(window, WM_NULL, 0, 0);
                i += 2;
            } else if (a == "has-text") {
                need(1);
                bool found = false;
                for (HWND c = GetWindow(target(), GW_CHILD); c && !found; c = GetWindow(c, GW_HWNDNEXT))
                    found = windowText(c) == args[i + 1];
                print(found ? 1 : 0);
                i += 1;
            } else {
                std::fprintf(stderr, "velmor-driver: unknown action %s (see --help)\n", a.c_str());
                return 2;
            }
        } catch (const Failure& f) {
            std::fflush(stdout);
            std::fprintf(stderr, "velmor-driver: %s: %s\n", a.c_str(), f.what.c_str());
            return 1;
        }
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Plain "\n" line ends, so that scripts read the lines as they are.
    _setmode(_fileno(stdout), _O_BINARY);
    return run(argc, argv);
}
