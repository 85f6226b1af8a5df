// render-slider-change: the frames the program plays from start-up when one
// slider is moved while it plays, for the end-to-end test of velmor.exe
// (scripts/e2e-gui.sh builds it against the Linux build's core library).
//
// The program renders its stream buffer in two halves: Play prefills the
// whole buffer, each later refill renders one half. A slider moved while it
// plays takes effect with the next refill, so the sound changes at the first
// frame of some half. This renders the start-up state the same way, with the
// slider moved (as the window's scroll handler moves it) right before frame
// AT, which must be a multiple of the half length.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/render.h"
#include "model/controls.h"
#include "model/units.h"

namespace {

const char kUsage[] =
    "usage: render-slider-change --frames N --at AT --slider ID --pos P [--buffer BYTES] -o OUT\n"
    "\n"
    "Writes N frames (16-bit stereo, 44100 Hz) of the start-up state played with\n"
    "a stream buffer of BYTES bytes (default 32768), with slider ID moved to\n"
    "position P right before frame AT (a multiple of BYTES / 8 frames, at least\n"
    "BYTES / 4: the first refill after the prefill).\n";

bool number(const char* text, long long& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtoll(text, &end, 10);
    return errno == 0 && *end == '\0';
}

int usage(const char* problem) {
    std::fprintf(stderr, "render-slider-change: %s\n%s", problem, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    long long frames = -1, at = -1, slider = -1, pos = -1, bufferBytes = 32768;
    const char* output = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        long long* target = a == "--frames"   ? &frames
                            : a == "--at"     ? &at
                            : a == "--slider" ? &slider
                            : a == "--pos"    ? &pos
                            : a == "--buffer" ? &bufferBytes
                                              : nullptr;
        if (target) {
            if (!number(next, *target)) return usage((a + " needs a whole number").c_str());
            ++i;
        } else if (a == "-o" && next) {
            output = argv[++i];
        } else {
            return usage(("unexpected argument " + a).c_str());
        }
    }
    const long long half = bufferBytes / 8;
    if (frames < 0 || slider < 0 || pos < 0 || !output || bufferBytes < 64 || bufferBytes % 8 != 0)
        return usage("missing or wrong arguments");
    if (at < 2 * half || at % half != 0) return usage("--at must be a refill boundary after the prefill");

    auto s = velmor::makeSynth();
    if (!velmor::startUpState(*s)) {
        std::fprintf(stderr, "render-slider-change: cannot obtain the engine buffers\n");
        return 1;
    }

    std::FILE* f = std::fopen(output, "wb");
    if (!f) {
        std::fprintf(stderr, "render-slider-change: cannot create %s\n", output);
        return 1;
    }
    std::vector<int16_t> block(static_cast<size_t>(4 * half));
    long long done = 0;
    bool ok = true;
    while (ok && done < frames) {
        if (done == at) velmor::onSliderScrolled(*s, static_cast<int>(slider), static_cast<int>(pos));
        const long long n = done == 0 ? 2 * half : half;  // the prefill, then one half per refill
        velmor::renderBlock(*s, block.data(), static_cast<uint32_t>(4 * n));
        const long long keep = n < frames - done ? n : frames - done;
        ok = std::fwrite(block.data(), 4, static_cast<size_t>(keep), f) == static_cast<size_t>(keep);
        done += n;
    }
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        std::fprintf(stderr, "render-slider-change: writing %s failed\n", output);
        return 1;
    }
    return 0;
}
