#include "files/stream_to_disk.h"

#include "engine/arith.h"
#include "engine/mixdown.h"
#include "engine/render.h"
#include "engine/song_clock.h"
#include "files/wave_file.h"
#include "model/engine_feed.h"

namespace velmor {

int64_t passFrames(const Synth& s) {
    const EngineSettings& g = s.score.doc.settings;
    const int64_t positions = g.songMode != 0 ? playedSongLength(g) : 1;
    return positions * 16 * int64_t{clampInt(s.score.derived.samplesPerStep, 1, INT32_MAX)};
}

int streamToDisk(Synth& s, std::FILE* f, const StreamOptions& options) {
    constexpr int kBlockBytes = 2048;
    constexpr int kBlockFrames = kBlockBytes / 4;
    constexpr int32_t kNotEnded = 9999;
    int16_t block[kBlockBytes / 2];

    publishAndReset(s);
    // The clock runs with the units: with none in use the pass would never
    // end. A pass takes at most this many blocks.
    const int64_t pass = passFrames(s);
    const int64_t maxBlocks = pass / kBlockFrames + 2;
    const int64_t total = pass - 1;
    if (options.wave) {
        const int64_t frames = total < kMaxWaveFrames ? total : kMaxWaveFrames;
        if (!writeWaveHeader(f, static_cast<uint32_t>(frames * 4))) return 0;
    }

    s.engine.passEndFrame = kNotEnded;
    int64_t written = 0;
    for (int64_t blocks = 0; blocks < maxBlocks; ++blocks) {
        publishAndRender(s, block, kBlockBytes);
        const int32_t end = s.engine.passEndFrame;
        if (end == kNotEnded) {
            if (std::fwrite(block, 2, kBlockBytes / 2, f) < kBlockBytes / 2) return 0;
            written += kBlockFrames;
            if (options.progress && !options.progress(options.context, written, total)) return 0;
            continue;
        }
        // The pass ended at frame `end` of this block: the frames before it
        // are the last of the pass.
        const size_t values = 2 * static_cast<size_t>(end);
        if (std::fwrite(block, 2, values, f) < values) return 0;
        if (options.progress) options.progress(options.context, total, total);
        // Data still held in the stream's buffer must reach the file too: a
        // write that fails only when flushed is reported, not taken for
        // success.
        return std::fflush(f) == 0 ? 1 : 0;
    }
    return 0;
}

}  // namespace velmor
