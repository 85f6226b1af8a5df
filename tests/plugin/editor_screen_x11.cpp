#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

#include "editor_screen.h"

namespace velmor::hosttest {

struct Screen::System {
    Display* display = nullptr;
    Window parent = 0;
};

// A display still busy with windows just closed may refuse a new
// connection for a moment: it is asked again.
Screen::Screen() : system_(new System) {
    system_->display = XOpenDisplay(nullptr);
    for (int i = 0; i < 50 && !system_->display; ++i) usleep(100000), system_->display = XOpenDisplay(nullptr);
}

Screen::~Screen() {
    if (system_->display) XCloseDisplay(system_->display);
}

bool Screen::ready() const { return system_->display != nullptr; }

bool Screen::open(Instance& v, double scale, int settling, int left) {
    left_ = left;
    // The size asked before there is a window, then the window.
    if (!v.openEditor(0, scale, width_, height_)) return false;
    Display* d = system_->display;
    system_->parent = XCreateSimpleWindow(d, DefaultRootWindow(d), left, 0, width_, height_, 0, 0, 0);
    XMapWindow(d, system_->parent);
    XSync(d, False);
    if (!v.openEditor(system_->parent, scale, width_, height_)) return false;
    settle(v, settling);
    return true;
}

void Screen::close(Instance& v) {
    v.closeEditor();
    XDestroyWindow(system_->display, system_->parent);
    XSync(system_->display, False);
}

void Screen::settle(Instance& v, int times) {
    for (int i = 0; i < times; ++i) {
        XSync(system_->display, False);
        v.idleEditor();
        usleep(20000);
    }
}

std::vector<uint8_t> Screen::picture() const {
    XImage* image = XGetImage(system_->display, system_->parent, 0, 0, width_, height_, AllPlanes, ZPixmap);
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t{3} * width_ * height_);
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_; ++x) {
            const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
            rgb.insert(rgb.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p)});
        }
    XDestroyImage(image);
    return rgb;
}

void Screen::drag(Instance& v, float x, float y, float up, double k) {
    Display* d = system_->display;
    XTestFakeMotionEvent(d, -1, left_ + static_cast<int>(x * k), static_cast<int>(y * k), 0);
    settle(v, 2);
    XTestFakeButtonEvent(d, 1, True, 0);
    settle(v, 2);
    // Up in two steps, as a hand drags.
    for (const float part : {up / 2, up}) {
        if (up == 0) break;
        XTestFakeMotionEvent(d, -1, left_ + static_cast<int>(x * k), static_cast<int>((y - part) * k), 0);
        settle(v, 2);
    }
    XTestFakeButtonEvent(d, 1, False, 0);
    settle(v, 3);
}

long residentKiB() {
    std::ifstream f("/proc/self/statm");
    long size = 0, resident = 0;
    f >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long allocatedBytes() {
    malloc_trim(0);
    return static_cast<long>(mallinfo2().uordblks);
}

double cpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace velmor::hosttest
