#include "app/window_logic.h"

#include <cstdio>
#include <cstring>

#include "engine/song_clock.h"
#include "files/file_names.h"
#include "model/song.h"

namespace velmor {

EnvelopeOutline envelopeOutline(int W, int H, int a, int d, int s, int r, int l) {
    const int xA = W * a / 400;
    const int xD = xA + W * d / 400;
    const int xS = xD + W * s / 400;
    const int xR = xS + W * r / 400;
    const int yL = H - l * H / 100;
    return EnvelopeOutline{{{0, 0}, {0, H}, {xA, 0}, {xD, yL}, {xS, yL}, {xR, H}, {W - 1, H}, {W - 1, 0}}};
}

StatusTexts refreshStatus(const AudioOutput& out, Engine& e) {
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

void prepareToPlay(Synth& s) {
    Engine& e = s.engine;
    if (e.currentStep == 0 && e.stepTick == 0) resetSongClock(e);
}

std::string playingStatus(const Synth& s) {
    const PlayingPlace place = playingPlace(s);
    char text[48];
    if (place.position == 0)
        std::snprintf(text, sizeof text, "Pattern %d", place.pattern);
    else
        std::snprintf(text, sizeof text, "Song %d/%d: Pattern %d", place.position, songPositions(s), place.pattern);
    return text;
}

namespace {

bool endsWithWave(const char* name) {
    const size_t n = std::strlen(name);
    if (n < 4) return false;
    const char* ext = name + n - 4;
    return ext[0] == '.' && (ext[1] | 0x20) == 'w' && (ext[2] | 0x20) == 'a' && (ext[3] | 0x20) == 'v';
}

}  // namespace

StreamKind streamFileName(char* name, size_t capacity, bool waveFilter) {
    if (!waveFilter && !endsWithWave(name))
        return appendExtension(name, capacity, ".raw") ? StreamKind::kRaw : StreamKind::kRefused;
    if (endsWithWave(name)) return StreamKind::kWave;
    const size_t n = std::strlen(name);
    if (n + 5 > capacity) return StreamKind::kRefused;
    std::memcpy(name + n, ".wav", 5);
    return StreamKind::kWave;
}

}  // namespace velmor
