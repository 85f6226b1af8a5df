#include "audio/output.h"

#include <cstring>
#include <thread>

#include "audio/midi_stream.h"
#include "engine/engine_input.h"
#include "engine/mixdown.h"
#include "engine/render.h"

namespace velmor {

int enumerateOutputDevice(DeviceTable& table, const uint8_t* guid, const char* description) {
    if (table.deviceCount >= kMaxDevices) return 0;
    char* name = table.deviceNames[table.deviceCount];
    // A description longer than 99 characters is cut to its first 99.
    std::strncpy(name, description ? description : "", kDeviceNameSize - 1);
    name[kDeviceNameSize - 1] = '\0';
    if (guid) std::memcpy(table.deviceIds[table.deviceCount], guid, 16);
    table.deviceCount += 1;
    return table.deviceCount != kMaxDevices ? 1 : 0;
}

namespace {

// One block into the stream buffer; its clock ticks to the clock output.
void renderInto(AudioOutput& out, Engine& e, const LockedRegion& region) {
    const int64_t first = e.framePosition;
    renderBlock(e, static_cast<int16_t*>(region.first), region.firstBytes);
    if (out.clockTicks) out.clockTicks->collect(e, first);
}

// Locks `bytes` at `offset`, renders one block into them and unlocks; the
// lock's result (nothing is rendered when it fails).
long renderRegion(AudioOutput& out, Engine& e, uint32_t offset, uint32_t bytes) {
    LockedRegion region;
    const long result = out.device->lock(offset, bytes, region);
    if (result != 0) return result;
    renderInto(out, e, region);
    out.device->unlock(LockedRegion{region.first, region.firstBytes, nullptr, 0});
    return 0;
}

}  // namespace

void waitForRefill(const AudioOutput& out) {
    while (out.renderBusy.load() != 0) std::this_thread::yield();
}

void startOutput(AudioOutput& out, Engine& e) {
    if (!out.outputReady) return;
    if (out.playing.load() != 0) {
        out.playing.store(0);
        waitForRefill(out);
    }
    out.pendingHalf = 0;
    out.device->rewind();
    const uint32_t cycle = out.device->cycleBytes();
    const int64_t ahead = out.device->aheadFrames();
    out.clock.start(e.framePosition, cycle != 0 ? cycle : out.bufferBytes, ahead);
    renderRegion(out, e, 0, ahead >= 0 ? static_cast<uint32_t>(4 * ahead) : out.bufferBytes);
    handEngineToAudio(e);
    // Playing before the device starts: a device that asks for frames may
    // ask at once.
    out.playing.store(1);
    out.device->playLooping();
}

void stopOutput(AudioOutput& out) {
    if (!out.outputReady) return;
    out.playing.store(0);
    out.device->stopStream();
    out.device->stopPrimary();
}

void stopAndReset(AudioOutput& out, Engine& e) {
    stopOutput(out);
    waitForRefill(out);
    takeEngineBack(e);
    resetEngine(e);
}

void audioTick(AudioOutput& out, Engine& e) {
    if (out.playing.load() == 1 && !out.device->pulls()) refillHalf(out, e);
}

long refillHalf(AudioOutput& out, Engine& e) {
    out.renderBusy.store(1);
    // Shutdown sets stopRequested before it reads renderBusy, and Stop clears
    // playing before it does: one of the two sides always sees the other, so
    // no render begins once either has looked.
    if (out.stopRequested.load() == 1 || out.playing.load() != 1) {
        out.renderBusy.store(0);
        return 0;
    }
    const uint32_t position = out.device->playPosition();
    out.clock.update(position, out.device->microseconds());
    const uint32_t half = out.bufferBytes >> 1;
    if (position < half) {
        if (out.pendingHalf == 1) {
            const long result = renderRegion(out, e, half, half);
            if (result != 0) {
                out.renderBusy.store(0);
                return result;
            }
        }
        out.pendingHalf = 0;
    } else {
        if (out.pendingHalf == 0) {
            const uint32_t t0 = out.device->milliseconds();
            const long result = renderRegion(out, e, 0, half);
            if (result != 0) {
                out.renderBusy.store(0);
                return result;
            }
            const uint32_t elapsed = out.device->milliseconds() - t0;
            out.cpuLoad = static_cast<uint16_t>((elapsed * 352800u) / (out.bufferBytes * 10u));
        }
        out.pendingHalf = 1;
    }
    out.renderBusy.store(0);
    return 0;
}

long pullFrames(AudioOutput& out, Engine& e, uint32_t bytes) {
    out.renderBusy.store(1);
    if (out.stopRequested.load() == 1 || out.playing.load() != 1) {
        out.renderBusy.store(0);
        return 0;
    }
    out.clock.update(out.device->playPosition(), out.device->microseconds());
    const long result = renderRegion(out, e, 0, bytes);
    out.renderBusy.store(0);
    return result;
}

void shutdownStreaming(AudioOutput& out, Engine* e) {
    stopOutput(out);
    out.stopRequested.store(1);
    waitForRefill(out);
    if (e) takeEngineBack(*e);
}

}  // namespace velmor
