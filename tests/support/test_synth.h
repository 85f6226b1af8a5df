#pragma once
// Fresh synthesizer instances and renders of them for the tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/fresh_synth.h"
#include "model/parameters.h"
#include "model/units.h"

namespace velmor::testing {

// The fresh instances the tools use too (model/fresh_synth.h).
using velmor::applyStartupLikeSettings;
using velmor::initialisedSynth;
using velmor::startedSynth;

// Renders `frames` frames in blocks of blockFrames and returns them
// interleaved.
inline std::vector<int16_t> renderFrames(Synth& s, int frames, int blockFrames = 4096) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    for (int done = 0; done < frames;) {
        const int n = std::min(blockFrames, frames - done);
        publishAndRender(s, out.data() + 2 * done, static_cast<uint32_t>(n) * 4);
        done += n;
    }
    return out;
}

// An engine command of a kind that takes a value.
inline EngineCommand command(EngineCommand::Kind kind, int32_t value = 0) { return EngineCommand::of(kind, value); }

// Renders `frames` frames of the engine with events at frames of the whole
// run, in blocks of the sizes block() gives in turn, and returns them
// interleaved.
template <class BlockSize>
std::vector<int16_t> renderEvents(Engine& e, const std::vector<EngineEvent>& events, int frames, BlockSize block) {
    std::vector<int16_t> out(2 * static_cast<size_t>(frames));
    size_t next = 0;
    for (int done = 0, n = 0; done < frames; done += n) {
        n = std::min(static_cast<int>(block()), frames - done);
        std::vector<EngineEvent> inBlock;
        for (; next < events.size() && events[next].frame < done + n; ++next) inBlock.push_back({events[next].frame - done, events[next].command});
        renderBlock(e, out.data() + 2 * done, static_cast<uint32_t>(n) * 4, inBlock);
    }
    return out;
}

}  // namespace velmor::testing
