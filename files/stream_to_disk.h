#pragma once
// Renders one pass of what Play plays, from its start, into an open file:
// headerless 16-bit stereo frames at 44100 Hz, or the same frames behind a
// WAVE header. A pass is the selected pattern once (pattern mode) or every
// song position once (song mode).

#include <cstdint>
#include <cstdio>

#include "model/synth.h"

namespace velmor {

// The frames of one pass, F: 16 samplesPerStep per pattern, times the song
// positions in song mode. The file holds F - 1 of them.
int64_t passFrames(const Synth& s);

struct StreamOptions {
    bool wave = false;  // the frames behind a 44-byte WAVE header
    // Called after every block with the frames written so far and the
    // frames of the whole file; returning false cancels the stream.
    bool (*progress)(void* context, int64_t written, int64_t total) = nullptr;
    void* context = nullptr;
};

// Resets the engine and writes blocks of 2048 bytes until the pass has
// played once: F - 1 frames. Returns 1 when every write succeeded, 0 when
// one came up short or the progress callback cancelled (or when no unit is
// in use, so that the clock never ends a pass; the file then holds what was
// written until a pass would have ended). The caller opens and closes the
// file.
int streamToDisk(Synth& s, std::FILE* f, const StreamOptions& options = {});

}  // namespace velmor
