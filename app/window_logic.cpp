#include "app/window_logic.h"

#include <cstdio>
#include <cstring>

#include "files/file_names.h"

namespace velmor {

EnvelopeOutline envelopeOutline(int W, int H, int a, int d, int s, int r, int l) {
    const int xA = W * a / 400;
    const int xD = xA + W * d / 400;
    const int xS = xD + W * s / 400;
    const int xR = xS + W * r / 400;
    const int yL = H - l * H / 100;
    return EnvelopeOutline{{{0, 0}, {0, H}, {xA, 0}, {xD, yL}, {xS, yL}, {xR, H}, {W - 1, H}, {W - 1, 0}}};
}

StatusTexts refreshStatus(const AudioOutput& out, EngineState& e) {
    char text[32];
    StatusTexts t;
    std::snprintf(text, sizeof text, "CPU: %d%%", static_cast<int16_t>(out.cpuLoad.load()));
    t.cpu = text;
    if (e.levelLeft == kLevelClipped) {
        e.levelLeft = 0;
        t.left = t.right = "CLIP";
        return t;
    }
    std::snprintf(text, sizeof text, "Vol-L: %d%%", static_cast<int16_t>(e.levelLeft.load()));
    t.left = text;
    std::snprintf(text, sizeof text, "Vol-R: %d%%", static_cast<int16_t>(e.levelRight.load()));
    t.right = text;
    return t;
}

std::string titleAfterLoad(const char* fileName) {
    char name[kFileNameSize];
    std::snprintf(name, sizeof name, "%s", fileName);
    stripDirectory(name);
    return std::string(kProgramTitle) + " - " + name;
}

std::string unitTabLabel(int n) { return "Velmor #" + std::to_string(n + 1); }

}  // namespace velmor
