// Prints a hash of every lookup table. The Linux and the Windows build must
// print the same lines: tests/cross-build/check.sh compares them (and the
// frames both builds render for varied pattern files).

#include <cinttypes>
#include <cstdio>

#include "support/test_synth.h"

namespace {

template <class T>
uint64_t hashOf(const T* p, size_t n) {
    uint64_t h = 1469598103934665603ull;  // FNV-1a over the little-endian bytes
    for (size_t i = 0; i < n; ++i) {
        const uint64_t v = static_cast<uint64_t>(static_cast<int64_t>(p[i]));
        for (size_t b = 0; b < sizeof(T); ++b) h = (h ^ ((v >> (8 * b)) & 0xFF)) * 1099511628211ull;
    }
    return h;
}

}  // namespace

int main() {
    using namespace velmor;
    auto s = testing::initialisedSynth();
    const Tables& t = s->tables;
    // clang-format off
    const struct { const char* name; const WaveSample* wave; } waves[] = {
        {"sawTable", t.sawTable}, {"squareTable", t.squareTable}, {"sineTable", t.sineTable},
        {"saw303Table", t.saw303Table}, {"userTable", s->score.doc.userWave}};
    // clang-format on
    for (const auto& w : waves) {
        int16_t samples[kWaveLength];
        for (int i = 0; i < kWaveLength; ++i) samples[i] = w.wave[i];
        std::printf("%s %016" PRIx64 "\n", w.name, hashOf(samples, kWaveLength));
    }
    std::printf("noteStepTable %016" PRIx64 "\n", hashOf(t.noteStepTable, kNoteSteps));
    std::printf("fineStepTable %016" PRIx64 "\n", hashOf(t.fineStepTable, kFineSteps));
    std::printf("filterSinTable %016" PRIx64 "\n", hashOf(t.filterSinTable, kFilterGrid));
    std::printf("filterCosTable %016" PRIx64 "\n", hashOf(t.filterCosTable, kFilterGrid));
    for (int row = 0; row < kDistRows; ++row) {
        std::printf("distCurvesA[%d] %016" PRIx64 "\n", row, hashOf(t.distCurvesA[row], kDistEntries));
        std::printf("distCurvesB[%d] %016" PRIx64 "\n", row, hashOf(t.distCurvesB[row], kDistEntries));
    }
    return 0;
}
