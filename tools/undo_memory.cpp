// What the undo history holds after 10 000 edits: the steps kept and their
// bytes, and how much the process grew, for a musician's mix of edits
// (slider moves, step edits, random patterns, units, the song, the user
// wave) and for the worst case, edits that each rewrite every step of every
// pattern and the whole user wave.
//
// usage: velmor-undo-memory [EDITS]

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "model/fresh_synth.h"
#include "model/parameters.h"
#include "model/pattern_clipboard.h"
#include "model/song.h"
#include "model/units.h"

namespace velmor {
namespace {

// The resident size in bytes, where the system tells it (0 elsewhere).
size_t residentBytes() {
#ifdef __linux__
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return static_cast<size_t>(resident) * 4096;
#else
    return 0;
#endif
}

// A steadily advancing clock: edits of one control 1.5 s apart never join.
int64_t g_ms = 0;
int64_t fakeClock() { return g_ms; }

void mixedEdit(Synth& s, int i) {
    switch (i % 8) {
        case 0: setLinked(s, static_cast<Param>(i % kParamCount), i % 101); break;
        case 1: setStepPitchFromSlider(s, i % 16, i % 49); break;
        case 2: generateRandomPattern(s, static_cast<uint32_t>(i)); break;
        case 3: toggleStepNoteOn(s, i % 16); break;
        case 4: (i % 16 < 8 ? addUnit : deleteCurrentUnit)(s); break;
        case 5:
            if (i % 2)
                insertSongPosition(s, i % 5, i % 64);
            else
                setSongPattern(s, 0, i % 64);
            break;
        case 6:
            selectPattern(s, i % 64);
            pastePattern(s);
            transposePattern(s, i % 3 - 1);
            break;
        case 7: {
            Edit edit(s, "Load Wave");
            for (int n = 0; n < kWaveLength; ++n) s.score.doc.userWave[n] = static_cast<int16_t>(n * i);
            break;
        }
    }
}

void wholeDocumentEdit(Synth& s, int i) {
    Edit edit(s, "Everything");
    Document& d = s.score.doc;
    for (auto* plane : {d.stepNoteOn, d.stepSlide, d.stepSpare}) std::memset(plane, i & 1, sizeof d.stepNoteOn);
    for (int n = 0; n < kUnitSlots * kStepsPerSlot; ++n) d.stepPitch[n] = static_cast<int8_t>(3 + (n + i) % 48);
    for (int n = 0; n < kWaveLength; ++n) d.userWave[n] = static_cast<int16_t>(n * i);
}

void measure(const char* name, void (*edit)(Synth&, int), int edits) {
    const size_t before = residentBytes();
    auto s = startedSynth();
    s->undo.clock = fakeClock;
    for (int i = 0; i < edits; ++i, g_ms += 1500) edit(*s, i);
    const size_t grown = residentBytes() - before;
    std::printf("%-15s %6d edits: %4zu steps kept, history %7.2f MiB, process grew %7.2f MiB\n", name, edits,
                s->undo.steps.size(), historyFootprint(*s) / 1048576.0, grown / 1048576.0);
}

}  // namespace
}  // namespace velmor

int main(int argc, char** argv) {
    const int edits = argc > 1 ? std::atoi(argv[1]) : 10000;
    velmor::measure("mixed", velmor::mixedEdit, edits);
    velmor::measure("whole document", velmor::wholeDocumentEdit, edits);
    return 0;
}
