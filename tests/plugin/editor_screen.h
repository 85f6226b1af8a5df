#pragma once
// The host's window on the screen with the editor in it, and what the
// editor checks measure of the process. Natively an X11 window, its
// pictures read from the display and its input through XTest; on Windows
// (under Wine) a Win32 window with input through SendInput, its pictures
// asked of the test's script, which takes them of the X window Wine draws
// the editor's OpenGL in: Wine's GDI does not show it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host_checks.h"

namespace velmor::hosttest {

class Screen {
public:
    Screen();
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;
    bool ready() const;

    // The host's window at `left` on the screen, the editor in it.
    bool open(Instance& v, double scale, int settling = 8, int left = 0);
    void close(Instance& v);
    // The host's timer (and the window's events), a few times over.
    void settle(Instance& v, int times = 8);
    // The window's pixels, RGB.
    std::vector<uint8_t> picture() const;
    void save(const std::vector<uint8_t>& rgb, const std::string& path) const;
    // A press at a point of the design, a move up by `up`, a release.
    void drag(Instance& v, float x, float y, float up, double k);
    // The colour at a point of the design.
    uint32_t colourAt(const std::vector<uint8_t>& rgb, float x, float y, double k) const;
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }

    struct System;

private:
    std::unique_ptr<System> system_;
    int left_ = 0;
    uint32_t width_ = 0, height_ = 0;
};

// The process's resident memory; the C library's allocated bytes (the
// plugin's allocations among them), or -1 where it does not tell; the
// processor time it took.
long residentKiB();
long allocatedBytes();
double cpuSeconds();

}  // namespace velmor::hosttest
