#include "files/stream_to_disk.h"

#include <cstdint>

#include "engine/arith.h"
#include "engine/mixdown.h"
#include "engine/render.h"

namespace velmor {

int streamToDisk(Synth& s, std::FILE* f) {
    constexpr int kBlockBytes = 2048;
    constexpr int kBlockFrames = kBlockBytes / 4;
    constexpr int32_t kNotEnded = 9999;
    int16_t block[kBlockBytes / 2];

    // The clock runs with the units: with none in use the pass would never
    // end. A pass takes at most this many blocks.
    const int64_t pass = 16 * int64_t{clampInt(s.store.settings.samplesPerStep, 1, INT32_MAX)};
    const int64_t maxBlocks = pass / kBlockFrames + 2;

    resetEngine(s);
    s.engine.patternEndFrame = kNotEnded;
    for (int64_t blocks = 0; blocks < maxBlocks; ++blocks) {
        renderBlock(s, block, kBlockBytes);
        const int32_t end = s.engine.patternEndFrame;
        if (end == kNotEnded) {
            if (std::fwrite(block, 2, kBlockBytes / 2, f) < kBlockBytes / 2) return 0;
            continue;
        }
        // The pattern ended at frame `end` of this block: the frames before
        // it are the last of the pass.
        const size_t values = 2 * static_cast<size_t>(end);
        if (std::fwrite(block, 2, values, f) < values) return 0;
        // Data still held in the stream's buffer must reach the file too: a
        // write that fails only when flushed is reported, not taken for
        // success.
        return std::fflush(f) == 0 ? 1 : 0;
    }
    return 0;
}

}  // namespace velmor
