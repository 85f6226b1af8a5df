#pragma once
// Builds fresh synthesizer instances for tests and benchmarks.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/mixdown.h"
#include "engine/render.h"
#include "model/parameters.h"
#include "model/units.h"

namespace velmor::testing {

// An instance after unit initialisation and the engine reset, with the
// distortion curves built: every slot holds its start values.
inline std::unique_ptr<Synth> initialisedSynth() {
    auto s = makeSynth();
    buildDistortionCurves(s->tables);
    initialiseUnits(*s);
    publishAndReset(*s);
    return s;
}

// The start-up state: unit 0 and the globals with the defaults applied;
// another unit gets unit 0's settings pasted and comes into use.
inline void applyStartupLikeSettings(Synth& s, int unit = 0) {
    if (unit == 0) {
        applyDefaults(s);
        return;
    }
    const int32_t saved = s.selection.currentUnit;
    s.selection.currentUnit = unit;
    pasteSettings(s, 0);
    s.selection.currentUnit = saved;
    if (s.score.doc.unitCount < unit + 1) s.score.doc.unitCount = unit + 1;
    publish(s);
}

// A fresh instance in the state right after start-up.
inline std::unique_ptr<Synth> startedSynth() {
    auto s = makeSynth();
    startUpState(*s);
    return s;
}

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
        for (; next < events.size() && events[next].frame < done + n; ++next)
            inBlock.push_back({events[next].frame - done, events[next].command});
        renderBlock(e, out.data() + 2 * done, static_cast<uint32_t>(n) * 4, inBlock);
    }
    return out;
}

}  // namespace velmor::testing
