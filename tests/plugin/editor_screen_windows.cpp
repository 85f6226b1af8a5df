// windows.h first: the others build on it.
#include <windows.h>

#include <malloc.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "editor_screen.h"

namespace velmor::hosttest {

namespace {

const wchar_t kClass[] = L"VelmorTestHost";

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// A picture of the editor, asked of the test's script on standard output;
// its answer, picture-N.ppm, comes to the folder VELMOR_PICTURE_DIR.
std::vector<uint8_t> askPicture(uint32_t width, uint32_t height) {
    static int asked = 0;
    const char* dir = std::getenv("VELMOR_PICTURE_DIR");
    if (!dir) return {};
    const int n = ++asked;
    std::printf("picture wanted %d %u %u\n", n, width, height);
    std::fflush(stdout);
    const std::string answer = std::string(dir) + "\\picture-" + std::to_string(n) + ".ppm";
    for (int i = 0; i < 400; ++i) {
        std::ifstream in(answer, std::ios::binary);
        std::string magic;
        uint32_t w = 0, h = 0, depth = 0;
        if (in >> magic >> w >> h >> depth && magic == "P6" && w == width && h == height) {
            in.get();
            std::vector<uint8_t> rgb(size_t{3} * w * h);
            if (in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()))) return rgb;
        }
        Sleep(25);
    }
    return {};
}

}  // namespace

struct Screen::System {
    HWND parent = nullptr;
};

Screen::Screen() : system_(new System) {
    static const bool registered = [] {
        // Positions in the screen's own pixels, whatever its scale.
        SetProcessDPIAware();
        WNDCLASSW c{};
        c.lpfnWndProc = DefWindowProcW;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = kClass;
        c.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        return RegisterClassW(&c) != 0;
    }();
    (void)registered;
}

Screen::~Screen() = default;

bool Screen::ready() const { return true; }

bool Screen::open(Instance& v, double scale, int settling, int left) {
    left_ = left;
    if (!v.openEditor(0, scale, width_, height_)) return false;
    system_->parent = CreateWindowExW(0, kClass, L"Velmor test host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, left, 0, static_cast<int>(width_),
                                      static_cast<int>(height_), nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!system_->parent) return false;
    pump();
    if (!v.openEditor(reinterpret_cast<uintptr_t>(system_->parent), scale, width_, height_)) return false;
    settle(v, settling);
    return true;
}

void Screen::close(Instance& v) {
    v.closeEditor();
    DestroyWindow(system_->parent);
    pump();
}

// Wine's software OpenGL draws the editor at scale 2 in a good part of a
// second: the timer runs less often, and longer.
void Screen::settle(Instance& v, int times) {
    for (int i = 0; i < times; ++i) {
        pump();
        v.idleEditor();
        Sleep(60);
    }
    pump();
}

std::vector<uint8_t> Screen::picture() const {
    std::vector<uint8_t> rgb = askPicture(width_, height_);
    if (rgb.empty()) rgb.assign(size_t{3} * width_ * height_, 0);
    return rgb;
}

void Screen::drag(Instance& v, float x, float y, float up, double k) {
    POINT corner{0, 0};
    ClientToScreen(system_->parent, &corner);
    // Moves go through the same input queue as the buttons, in order.
    const auto move = [&](float dy) {
        const int px = corner.x + static_cast<int>(x * k), py = corner.y + static_cast<int>((y - dy) * k);
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        // The system takes a point of 65536 across the screen.
        const LONG w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        in.mi.dx = (px * 65536 + w - 1) / w;
        in.mi.dy = (py * 65536 + h - 1) / h;
        SendInput(1, &in, sizeof in);
        // Until the system has it there.
        POINT at{};
        for (int i = 0; i < 50 && (!GetCursorPos(&at) || std::abs(at.x - px) > 1 || std::abs(at.y - py) > 1); ++i) settle(v, 1);
        settle(v, 2);
        // The window under the cursor, as a hand's move makes the system
        // find it before a press.
        WindowFromPoint(at);
    };
    const auto button = [&](DWORD flag) {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = flag;
        SendInput(1, &in, sizeof in);
        settle(v, 2);
    };
    move(0);
    button(MOUSEEVENTF_LEFTDOWN);
    // Up in two steps, as a hand drags.
    if (up != 0) move(up / 2), move(up);
    button(MOUSEEVENTF_LEFTUP);
    settle(v, 1);
}

long residentKiB() {
    PROCESS_MEMORY_COUNTERS c{};
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return static_cast<long>(c.WorkingSetSize / 1024);
}

// The C runtime's heap, which the plugin's C and C++ allocations come from
// (both binaries use the system's msvcrt.dll): its blocks in use.
long allocatedBytes() {
    const auto heap = reinterpret_cast<HANDLE>(_get_heap_handle());
    PROCESS_HEAP_ENTRY entry{};
    long used = 0;
    if (!HeapLock(heap)) return -1;
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) used += static_cast<long>(entry.cbData);
    HeapUnlock(heap);
    return used;
}

double cpuSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](const FILETIME& t) { return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7; };
    return seconds(kernel) + seconds(user);
}

}  // namespace velmor::hosttest
