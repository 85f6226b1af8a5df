#include "files/pattern_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

#include "engine/arith.h"
#include "files/safe_file.h"
#include "model/song.h"

namespace velmor {

namespace {

constexpr char kVersion[6] = {'V', '1', '.', '0', 'A', '\0'};

// What a load writes: the store and the user waveform. The file is read
// into a copy of them, which takes the place of the originals only when the
// whole read succeeded, so that a file that fails part way changes nothing.
struct Loaded {
    Store store;
    WaveTable userTable;
};

std::unique_ptr<Loaded> copyForLoading(const Synth& s) {
    auto l = std::make_unique<Loaded>();
    l->store = s.store;
    std::copy(std::begin(s.tables.userTable), std::end(s.tables.userTable), l->userTable);
    return l;
}

void applyLoaded(Synth& s, const Loaded& l) {
    s.store = l.store;
    std::copy(std::begin(l.userTable), std::end(l.userTable), s.tables.userTable);
}

// Little-endian output that remembers whether every write succeeded.
class Out {
public:
    explicit Out(std::FILE* f) : f_(f) {}
    void bytes(const uint8_t* b, size_t n) {
        if (std::fwrite(b, 1, n, f_) != n) ok_ = false;
    }
    void u16(uint16_t v) { le(v, 2); }
    void u32(uint32_t v) { le(v, 4); }
    void u64(uint64_t v) { le(v, 8); }
    bool ok() const { return ok_; }

private:
    void le(uint64_t v, int n) {
        uint8_t b[8];
        for (int i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
        bytes(b, static_cast<size_t>(n));
    }
    std::FILE* f_;
    bool ok_ = true;
};

// Little-endian input that stops filling at the end of the data: once a
// value cannot be read whole, it and everything after it stay unchanged.
// Bytes already taken from the stream (a header that turned out not to be
// one) can be handed back to be read first.
class In {
public:
    explicit In(std::FILE* f, const uint8_t* pending = nullptr, size_t pendingCount = 0)
        : f_(f), pending_(pending), pendingCount_(pendingCount) {}
    bool bytes(uint8_t* b, size_t n) {
        if (ended_) return false;
        const size_t fromPending = n < pendingCount_ ? n : pendingCount_;
        if (fromPending > 0) {
            std::memcpy(b, pending_, fromPending);
            pending_ += fromPending;
            pendingCount_ -= fromPending;
        }
        const size_t rest = n - fromPending;
        if (rest > 0 && std::fread(b + fromPending, 1, rest, f_) != rest) ended_ = true;
        return !ended_;
    }
    bool le(uint64_t& v, int n) {
        uint8_t b[8];
        if (!bytes(b, static_cast<size_t>(n))) return false;
        v = 0;
        for (int i = 0; i < n; ++i) v |= uint64_t{b[i]} << (8 * i);
        return true;
    }
    // Skips n bytes (reading them, so that no seek can overflow).
    void skip(uint64_t n) {
        uint8_t scratch[4096];
        while (n > 0 && !ended_) {
            const size_t chunk = n < sizeof scratch ? static_cast<size_t>(n) : sizeof scratch;
            bytes(scratch, chunk);
            n -= chunk;
        }
    }

private:
    std::FILE* f_;
    const uint8_t* pending_;
    size_t pendingCount_;
    bool ended_ = false;
};

// One stored value of each field type, in the field's own width.
void put(Out& o, const Relaxed<uint16_t>& v) { o.u16(v.load()); }
void put(Out& o, const Relaxed<int32_t>& v) { o.u32(static_cast<uint32_t>(v.load())); }
void put(Out& o, const Relaxed<uint32_t>& v) { o.u32(v.load()); }
void put(Out& o, const Relaxed<float>& v) { o.u32(v.loadBits()); }
void put(Out& o, const Relaxed<double>& v) { o.u64(v.loadBits()); }
void put(Out& o, const uint16_t& v) { o.u16(v); }
void put(Out& o, const uint32_t& v) { o.u32(v); }
void put(Out& o, const uint64_t& v) { o.u64(v); }

void get(In& in, Relaxed<uint16_t>& v) {
    uint64_t b;
    if (in.le(b, 2)) v = static_cast<uint16_t>(b);
}
void get(In& in, Relaxed<int32_t>& v) {
    uint64_t b;
    if (in.le(b, 4)) v = static_cast<int32_t>(static_cast<uint32_t>(b));
}
void get(In& in, Relaxed<uint32_t>& v) {
    uint64_t b;
    if (in.le(b, 4)) v = static_cast<uint32_t>(b);
}
void get(In& in, Relaxed<float>& v) {
    uint64_t b;
    if (in.le(b, 4)) v.storeBits(static_cast<uint32_t>(b));
}
void get(In& in, Relaxed<double>& v) {
    uint64_t b;
    if (in.le(b, 8)) v.storeBits(b);
}
void get(In& in, uint16_t& v) {
    uint64_t b;
    if (in.le(b, 2)) v = static_cast<uint16_t>(b);
}
void get(In& in, uint32_t& v) {
    uint64_t b;
    if (in.le(b, 4)) v = static_cast<uint32_t>(b);
}
void get(In& in, uint64_t& v) {
    uint64_t b;
    if (in.le(b, 8)) v = b;
}

// A per-unit row: the field of slots 0 to n - 1.
template <class F>
void putRow(Out& o, const Store& st, int n, const F UnitRecord::*field) {
    for (int u = 0; u < n; ++u) put(o, st.units[u].*field);
}
template <class F>
void getRow(In& in, Store& st, int n, F UnitRecord::*field) {
    for (int u = 0; u < n; ++u) get(in, st.units[u].*field);
}

void putDelayBlock(Out& o, const EngineSettings& g) {
    put(o, g.delaySendOut);
    put(o, g.delayPan);
    put(o, g.delayFeedback);
    put(o, g.delaySteps);
}
void getDelayBlock(In& in, EngineSettings& g) {
    get(in, g.delaySendOut);
    get(in, g.delayPan);
    get(in, g.delayFeedback);
    get(in, g.delaySteps);
}

// The step planes: for each unit, patterns 0 to P - 1, 16 bytes each.
template <class T>
void putPlane(Out& o, const Relaxed<T>* plane, int n, int patterns) {
    for (int u = 0; u < n; ++u)
        for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
            const uint8_t b = static_cast<uint8_t>(plane[stepIndex(u, 0, i)].load());
            o.bytes(&b, 1);
        }
}
template <class T>
void getPlane(In& in, Relaxed<T>* plane, int n, int patterns) {
    for (int u = 0; u < n; ++u)
        for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
            uint8_t b;
            if (in.bytes(&b, 1)) plane[stepIndex(u, 0, i)] = static_cast<T>(b);
        }
}

int16_t le16(const uint8_t* b) { return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8))); }

void readCurrentLayout(Loaded& s, In& in, const uint8_t* header) {
    Store& st = s.store;
    EngineSettings& g = st.settings;
    const uint16_t present = static_cast<uint16_t>(le16(header + 16));
    g.masterVolume = le16(header + 18);
    // The counts are brought into the store's limits; a unit count of 0
    // would leave nothing to render.
    st.unitCount = clampInt(le16(header + 20), 1, kUnitSlots);
    g.patternCount = clampInt(le16(header + 22), 0, kPatternsPerUnit);
    g.songLength = clampInt(le16(header + 24), 0, kSongEntries);
    // The reserved words: the swing (a value outside 0..100 is taken as
    // the nearest end) and the song mode in bit 0 of the next one.
    g.swing = clampInt(le16(header + 26), 0, 100);
    g.songMode = header[28] & 1;
    const int n = st.unitCount;
    const int patterns = g.patternCount;

    for (int u = 0; u < n; ++u)
        for (uint8_t& link : st.unitLinks[u]) {
            uint8_t b;
            if (in.bytes(&b, 1)) link = b;
        }
    getRow(in, st, n, &UnitRecord::osc1Wave);
    getRow(in, st, n, &UnitRecord::osc2Wave);
    getRow(in, st, n, &UnitRecord::osc1Coarse);
    getRow(in, st, n, &UnitRecord::osc2Coarse);
    getRow(in, st, n, &UnitRecord::osc1Fine);
    getRow(in, st, n, &UnitRecord::osc2Fine);
    getRow(in, st, n, &UnitRecord::oscMix);
    getRow(in, st, n, &UnitRecord::osc2Phase);

    uint64_t w;
    if (in.le(w, 4)) {
        // At most the 1024 samples of the table are taken; the rest is skipped.
        const int64_t stored = static_cast<int32_t>(static_cast<uint32_t>(w));
        const int64_t taken = stored < 0 ? 0 : (stored > kWaveLength ? kWaveLength : stored);
        for (int64_t i = 0; i < taken; ++i) {
            uint64_t sample;
            if (in.le(sample, 2)) s.userTable[i] = static_cast<int16_t>(static_cast<uint16_t>(sample));
        }
        if (stored > taken) in.skip(static_cast<uint64_t>(stored - taken) * 2);
    }

    getDelayBlock(in, g);
    getDelayBlock(in, g);  // the second copy's values stay
    for (int u = 0; u < n; ++u)
        for (auto& word : st.units[u].delaySend) get(in, word);
    getRow(in, st, n, &UnitRecord::distMode);
    getRow(in, st, n, &UnitRecord::distWet);
    getRow(in, st, n, &UnitRecord::distThreshold);
    getRow(in, st, n, &UnitRecord::filterMode);
    getRow(in, st, n, &UnitRecord::cutoff);
    getRow(in, st, n, &UnitRecord::resonance);
    getRow(in, st, n, &UnitRecord::envAmount);
    getRow(in, st, n, &UnitRecord::lfoAmount);
    getRow(in, st, n, &UnitRecord::lfoSpeed);
    getRow(in, st, n, &UnitRecord::lfoTarget);
    getRow(in, st, n, &UnitRecord::lfoWave);
    getRow(in, st, n, &UnitRecord::spareA);
    getRow(in, st, n, &UnitRecord::spareB);
    getRow(in, st, n, &UnitRecord::spareC);
    getRow(in, st, n, &UnitRecord::spareD);
    getRow(in, st, n, &UnitRecord::ringMod);

    // Optional blocks; a block whose bit is clear is not in the file, and its
    // fields take fixed values in all 8 slots.
    if (present & kHasFmAmount) {
        getRow(in, st, n, &UnitRecord::fmAmount);
    } else {
        for (UnitRecord& r : st.units) r.fmAmount = 0;
    }
    if (present & kHasOscSync) {
        getRow(in, st, n, &UnitRecord::oscSync);
    } else {
        for (UnitRecord& r : st.units) r.oscSync = 0;
    }
    if (present & kHasPulseWidth) {
        getRow(in, st, n, &UnitRecord::pulseWidth);
        getRow(in, st, n, &UnitRecord::spareE);
    } else {
        for (UnitRecord& r : st.units) {
            r.pulseWidth = 0;
            r.spareE = 0;
        }
    }
    getRow(in, st, n, &UnitRecord::attack);
    getRow(in, st, n, &UnitRecord::decay);
    getRow(in, st, n, &UnitRecord::sustainTime);
    getRow(in, st, n, &UnitRecord::release);
    getRow(in, st, n, &UnitRecord::sustainLevel);
    getRow(in, st, n, &UnitRecord::stepGate);
    if (present & kHasVolume) {
        getRow(in, st, n, &UnitRecord::volume);
    } else {
        for (UnitRecord& r : st.units) r.volume = 128;
    }
    get(in, g.tempoBpm);
    getPlane(in, st.stepPitch, n, patterns);
    getPlane(in, st.stepNoteOn, n, patterns);
    getPlane(in, st.stepSlide, n, patterns);
    getPlane(in, st.stepSpare, n, patterns);
    for (int i = 0; i < g.songLength; ++i) {
        uint8_t entry;
        if (in.bytes(&entry, 1)) g.songSequence[i] = entry;
    }
}

void readOldLayout(Loaded& s, In& in) {
    Store& st = s.store;
    EngineSettings& g = st.settings;
    // The older layout knows neither swing nor songs: it plays straight, in
    // pattern mode.
    g.swing = 0;
    g.songMode = 0;
    UnitRecord& r = st.units[0];
    get(in, r.osc1Wave);
    get(in, r.osc2Wave);
    get(in, r.osc1Coarse);
    get(in, r.osc2Coarse);
    get(in, r.osc1Fine);
    get(in, r.osc2Fine);
    uint64_t b;
    if (in.le(b, 4)) {
        g.delaySendOut = static_cast<int32_t>(static_cast<uint32_t>(b));
        r.delaySend[0] = static_cast<uint32_t>(g.delaySendOut / 2);
    }
    get(in, g.delayPan);
    get(in, g.delayFeedback);
    get(in, g.delaySteps);
    get(in, r.distMode);
    get(in, r.distWet);
    get(in, r.distThreshold);
    get(in, r.filterMode);
    get(in, r.cutoff);
    get(in, r.resonance);
    get(in, r.envAmount);
    get(in, r.lfoAmount);
    in.skip(4);
    get(in, r.lfoTarget);
    get(in, r.lfoWave);
    get(in, r.spareA);
    if (in.le(b, 4)) r.lfoSpeed = static_cast<double>(mul32(static_cast<int32_t>(static_cast<uint32_t>(b)), 4));
    get(in, r.spareC);
    get(in, r.spareD);
    get(in, r.ringMod);
    in.skip(4);
    if (in.le(b, 8)) r.decay = static_cast<float>(std::bit_cast<double>(b));
    get(in, g.tempoBpm);
    for (int i = 0; i < kStepsPerPattern; ++i)
        if (in.le(b, 4)) st.stepPitch[stepIndex(0, 0, i)] = static_cast<int8_t>(static_cast<uint8_t>(b));
    getPlane(in, st.stepNoteOn, 1, 1);
    getPlane(in, st.stepSlide, 1, 1);
    getPlane(in, st.stepSpare, 1, 1);
}

}  // namespace

int writePatternStream(const Synth& s, std::FILE* f) {
    const Store& st = s.store;
    const EngineSettings& g = st.settings;
    // The counts are written as the reader takes them, so that the header
    // always agrees with the rows that follow it.
    const int n = clampInt(st.unitCount, 1, kUnitSlots);
    const int patterns = patternsToSave(st);
    const int songLength = clampInt(g.songLength, 0, kSongEntries);

    Out o(f);
    uint8_t version[16] = {};
    std::memcpy(version, kVersion, sizeof kVersion);
    o.bytes(version, sizeof version);
    o.u16(kAllFieldsPresent);
    o.u16(static_cast<uint16_t>(g.masterVolume.load()));
    o.u16(static_cast<uint16_t>(n));
    o.u16(static_cast<uint16_t>(patterns));
    o.u16(static_cast<uint16_t>(songLength));
    o.u16(static_cast<uint16_t>(clampInt(g.swing, 0, 100)));
    o.u16(g.songMode != 0 ? 1 : 0);

    for (int u = 0; u < n; ++u) o.bytes(st.unitLinks[u], kUnitSlots);
    putRow(o, st, n, &UnitRecord::osc1Wave);
    putRow(o, st, n, &UnitRecord::osc2Wave);
    putRow(o, st, n, &UnitRecord::osc1Coarse);
    putRow(o, st, n, &UnitRecord::osc2Coarse);
    putRow(o, st, n, &UnitRecord::osc1Fine);
    putRow(o, st, n, &UnitRecord::osc2Fine);
    putRow(o, st, n, &UnitRecord::oscMix);
    putRow(o, st, n, &UnitRecord::osc2Phase);
    o.u32(kWaveLength);
    for (const WaveSample& sample : s.tables.userTable) o.u16(static_cast<uint16_t>(sample.load()));
    putDelayBlock(o, g);
    putDelayBlock(o, g);
    for (int u = 0; u < n; ++u)
        for (const auto& word : st.units[u].delaySend) put(o, word);
    putRow(o, st, n, &UnitRecord::distMode);
    putRow(o, st, n, &UnitRecord::distWet);
    putRow(o, st, n, &UnitRecord::distThreshold);
    putRow(o, st, n, &UnitRecord::filterMode);
    putRow(o, st, n, &UnitRecord::cutoff);
    putRow(o, st, n, &UnitRecord::resonance);
    putRow(o, st, n, &UnitRecord::envAmount);
    putRow(o, st, n, &UnitRecord::lfoAmount);
    putRow(o, st, n, &UnitRecord::lfoSpeed);
    putRow(o, st, n, &UnitRecord::lfoTarget);
    putRow(o, st, n, &UnitRecord::lfoWave);
    putRow(o, st, n, &UnitRecord::spareA);
    putRow(o, st, n, &UnitRecord::spareB);
    putRow(o, st, n, &UnitRecord::spareC);
    putRow(o, st, n, &UnitRecord::spareD);
    putRow(o, st, n, &UnitRecord::ringMod);
    putRow(o, st, n, &UnitRecord::fmAmount);
    putRow(o, st, n, &UnitRecord::oscSync);
    putRow(o, st, n, &UnitRecord::pulseWidth);
    putRow(o, st, n, &UnitRecord::spareE);
    putRow(o, st, n, &UnitRecord::attack);
    putRow(o, st, n, &UnitRecord::decay);
    putRow(o, st, n, &UnitRecord::sustainTime);
    putRow(o, st, n, &UnitRecord::release);
    putRow(o, st, n, &UnitRecord::sustainLevel);
    putRow(o, st, n, &UnitRecord::stepGate);
    putRow(o, st, n, &UnitRecord::volume);
    put(o, g.tempoBpm);
    putPlane(o, st.stepPitch, n, patterns);
    putPlane(o, st.stepNoteOn, n, patterns);
    putPlane(o, st.stepSlide, n, patterns);
    putPlane(o, st.stepSpare, n, patterns);
    for (int i = 0; i < songLength; ++i) {
        const uint8_t entry = g.songSequence[i];
        o.bytes(&entry, 1);
    }

    return o.ok() ? 1 : 0;
}

int writePatternFile(const Synth& s, const char* path, SaveResult* result) {
    // The old file stays as it was unless the new one was written whole.
    const SaveResult r = saveFile(path, [&](std::FILE* f) { return writePatternStream(s, f) == 1; });
    if (result) *result = r;
    return r.ok() ? 1 : 0;
}

int readPatternFile(Synth& s, const char* path, PatternReadStatus* status) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        if (status) *status = PatternReadStatus::kCannotOpen;
        return 0;
    }
    const int result = readPatternStream(s, f, status);
    std::fclose(f);
    return result;
}

int readPatternStream(Synth& s, std::FILE* f, PatternReadStatus* status) {
    PatternReadStatus ignored;
    PatternReadStatus& result = status ? *status : ignored;
    uint8_t header[kPatternHeaderSize];
    const size_t got = std::fread(header, 1, sizeof header, f);
    if (std::ferror(f)) {
        result = PatternReadStatus::kReadError;
        return 0;
    }
    const auto loaded = copyForLoading(s);
    if (got >= sizeof kVersion && std::memcmp(header, kVersion, sizeof kVersion) == 0) {
        if (got < sizeof header) {
            // No counts to take: the file is refused and nothing changes.
            result = PatternReadStatus::kShortHeader;
            return 0;
        }
        In in(f);
        readCurrentLayout(*loaded, in, header);
        result = PatternReadStatus::kCurrentLayout;
    } else {
        // Not the current layout: the bytes taken for a header are the
        // older layout's first fields.
        In in(f, header, got);
        readOldLayout(*loaded, in);
        result = PatternReadStatus::kOldLayout;
    }
    // The end of the data ends a file cut short, which fills as far as it
    // reaches; a failed read ends nothing but the attempt.
    if (std::ferror(f)) {
        result = PatternReadStatus::kReadError;
        return 0;
    }
    // A loaded file starts with its first pattern selected.
    loaded->store.settings.currentPattern = 0;
    applyLoaded(s, *loaded);
    return 1;
}

void readOldPatternFile(Synth& s, std::FILE* f) {
    const auto loaded = copyForLoading(s);
    In in(f);
    readOldLayout(*loaded, in);
    if (!std::ferror(f)) applyLoaded(s, *loaded);
}

}  // namespace velmor
