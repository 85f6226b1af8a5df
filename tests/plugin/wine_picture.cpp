// velmor-wine-picture: a picture of what a Windows editor draws under Wine,
// for the editor checks of the Windows test hosts (tests/plugin/windows.sh).
// Wine draws OpenGL in a child window into an X window of its own, kept
// off the screen (redirected): a picture of the screen shows nothing of it,
// the window itself holds it. This finds the newest X window of the size
// asked and writes its pixels as a PPM picture.
//
//   velmor-wine-picture WIDTH HEIGHT OUT.ppm       exit status 0 when written

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

// The last window of that size below the top-level ones (the newest on
// top): the host's own window is a top-level one of the same size.
Window find(Display* d, Window w, unsigned width, unsigned height, bool topLevel) {
    Window found = 0, root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!topLevel && XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable && static_cast<unsigned>(a.width) == width &&
            static_cast<unsigned>(a.height) == height && a.c_class == InputOutput)
            found = children[i];
        if (const Window deeper = find(d, children[i], width, height, false)) found = deeper;
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return std::fprintf(stderr, "usage: velmor-wine-picture WIDTH HEIGHT OUT.ppm\n"), 2;
    const unsigned width = static_cast<unsigned>(std::atoi(argv[1])), height = static_cast<unsigned>(std::atoi(argv[2]));
    Display* d = XOpenDisplay(nullptr);
    if (!d) return std::fprintf(stderr, "no display\n"), 1;
    const Window w = find(d, DefaultRootWindow(d), width, height, true);
    XImage* image = w ? XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap) : nullptr;
    if (!image) return std::fprintf(stderr, "no window of %ux%u\n", width, height), 1;
    std::vector<unsigned char> rgb;
    rgb.reserve(size_t{3} * width * height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            const unsigned long p = XGetPixel(image, static_cast<int>(x), static_cast<int>(y));
            rgb.insert(rgb.end(), {static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8), static_cast<unsigned char>(p)});
        }
    XDestroyImage(image);
    XCloseDisplay(d);
    std::ofstream out(argv[3], std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
    return out ? 0 : 1;
}
