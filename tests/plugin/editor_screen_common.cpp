#include <fstream>

#include "editor_screen.h"

namespace velmor::hosttest {

void Screen::save(const std::vector<uint8_t>& rgb, const std::string& path) const {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << width_ << " " << height_ << "\n255\n";
    f.write(reinterpret_cast<const char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
}

uint32_t Screen::colourAt(const std::vector<uint8_t>& rgb, float x, float y, double k) const {
    const size_t at = (static_cast<size_t>(y * k) * width_ + static_cast<size_t>(x * k)) * 3;
    if (at + 2 >= rgb.size()) return 0xffffffff;
    return static_cast<uint32_t>(rgb[at]) << 16 | rgb[at + 1] << 8 | rgb[at + 2];
}

}  // namespace velmor::hosttest
