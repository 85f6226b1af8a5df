#include "engine/mixdown.h"

#include <algorithm>
#include <cmath>

#include "engine/engine_input.h"
#include "engine/render.h"
#include "engine/song_clock.h"
#include "engine/step_clock.h"

namespace velmor {

const int32_t* distortionCurve(const Tables& t, uint16_t distMode, uint16_t distThreshold) {
    const int row = distThreshold > 9 ? 9 : distThreshold;
    return distMode == 1 ? t.distCurvesA[row] : t.distCurvesB[row];
}

void setupDelay(Engine& e) {
    const EngineSettings& g = e.score->doc.settings;
    // Two slots per frame for delaySteps sixteenth notes, the lowest bit
    // cleared. The tempo is clamped to 60..180 here as in the step timing;
    // following MIDI clock, it is the clock's.
    const int32_t tempo = e.syncedTempo > 0 ? e.syncedTempo.load() : clampInt(g.tempoBpm, 60, 180);
    int32_t length = (mul32(g.delaySteps, 2646000) / tempo / 2) & ~int32_t{1};
    if (length > kMaxDelayLength) length = kMaxDelayLength;
    e.delayLength = length;
    const int32_t pan = g.delayPan;
    e.delayGainL = pan > 0 ? sub32(64, pan) : 64;
    e.delayGainR = pan < 0 ? add32(64, pan) : 64;
}

void mixdown(Engine& e, int16_t* out, int frames, Peaks& peaks) {
    const Document& st = e.score->doc;
    const EngineSettings& g = st.settings;
    const int16_t* buffers = e.unitBuffers.get();
    int32_t* delay = e.delayBuffer.get();
    int32_t pos = e.delayPos;
    const int32_t length = e.delayLength;
    const int32_t gainL = e.delayGainL;
    const int32_t gainR = e.delayGainR;
    int32_t peakL = peaks.left;
    int32_t peakR = peaks.right;
    // A unit whose own sound is off (Local Off) adds nothing.
    const int units = clampInt(st.unitCount, 0, kUnitSlots);
    int32_t volume[kUnitSlots], sendLevel[kUnitSlots];
    for (int u = 0; u < units; ++u) {
        const bool heard = (e.localOff & (1u << u)) == 0;
        volume[u] = heard ? st.units[u].volume : 0;
        sendLevel[u] = heard ? static_cast<int32_t>(st.units[u].delaySend[0]) : 0;
    }

    for (int n = 0; n < frames; ++n) {
        int32_t dry = 0;
        int32_t send = 0;
        for (int u = 0; u < units; ++u) {
            const int32_t sample = buffers[u * kMaxBlockFrames + n];
            dry = add32(dry, mul32(volume[u], sample) >> 7);
            send = add32(send, mul32(sendLevel[u], sample) >> 8);
        }
        const int32_t dl = delay[pos];
        const int32_t dr = delay[pos + 1];
        const int32_t left = add32(dry, mul32(gainL, dl) >> 5);
        const int32_t right = add32(dry, mul32(gainR, dr) >> 5);
        const int32_t feedback = g.delayFeedback;
        delay[pos] = mul32(add32(dl, send), feedback) >> 7;
        delay[pos + 1] = mul32(add32(send, dr), feedback) >> 7;
        pos += 2;
        if (pos >= length) pos = 0;

        const int32_t master = g.masterVolume;
        int32_t outL = mul32(master, left) >> 6;
        int32_t outR = mul32(master, right) >> 6;
        peakL = std::max({peakL, outL, neg32(outL)});
        peakR = std::max({peakR, outR, neg32(outR)});
        // Above 32767 gives 32767; below -32768 gives -32767, and -32768
        // itself passes.
        if (outL > 32767)
            outL = 32767;
        else if (outL < -32768)
            outL = -32767;
        if (outR > 32767)
            outR = 32767;
        else if (outR < -32768)
            outR = -32767;
        out[2 * n] = static_cast<int16_t>(outL);
        out[2 * n + 1] = static_cast<int16_t>(outR);
    }
    e.delayPos = pos;
    peaks.left = peakL;
    peaks.right = peakR;
}

void updateMeters(Engine& e, const Peaks& peaks) {
    if (peaks.left > 32767 || peaks.right > 32767) {
        e.levelLeft = kLevelClipped;
        e.levelRight = kLevelClipped;
    } else if (e.levelLeft != kLevelClipped) {
        // The clip mark is held until the display has shown it.
        e.levelRight = static_cast<uint16_t>(peaks.right * 100 / 32768);
        e.levelLeft = static_cast<uint16_t>(peaks.left * 100 / 32768);
    }
}

void resetEngine(Engine& e) {
    e.highPassScale = 44100.0 * std::sqrt(2.0) / (2.0 * 3.141592653);
    for (int u = 0; u < kUnitSlots; ++u) clearFilterMemory(e, u);
    for (UnitVoice& v : e.voices) {
        v.envStage = 0;
        v.envLevel = 1;
        v.accentOn = 0;
        v.accentCharge = 0;
    }
    // The units play their patterns again; keys still held go on sounding.
    for (UnitKeys& k : e.keys) {
        k.tail = false;
        k.strike = false;
        k.keyed = k.count > 0;
    }
    e.currentStep = 0;
    e.stepTick = 0;
    const int32_t was = e.song.pattern;
    resetSongClock(e);
    startUnitPatterns(e, was, e.song.pattern);
}

}  // namespace velmor
