#include "files/pattern_file.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <type_traits>

#include "engine/arith.h"
#include "files/safe_file.h"
#include "model/song.h"
#include "model/unit_fields.h"
#include "model/units.h"

namespace velmor {

namespace {

constexpr char kVersion[6] = {'V', '1', '.', '0', 'A', '\0'};

// Little-endian output, to a stream or to memory, that remembers whether
// every write succeeded.
class Out {
public:
    explicit Out(std::FILE* f) : f_(f) {}
    explicit Out(std::string& to) : to_(&to) {}
    void bytes(const uint8_t* b, size_t n) {
        if (to_)
            to_->append(reinterpret_cast<const char*>(b), n);
        else if (std::fwrite(b, 1, n, f_) != n)
            ok_ = false;
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
    std::FILE* f_ = nullptr;
    std::string* to_ = nullptr;
    bool ok_ = true;
};

// Little-endian input, from a stream or from memory, that stops filling at
// the end of the data: once a value cannot be read whole, it and everything
// after it stay unchanged. Bytes taken ahead (a header that turned out not
// to be one) are read first; in memory, they are followed by the rest.
class In {
public:
    explicit In(std::FILE* f, const uint8_t* pending = nullptr, size_t pendingCount = 0)
        : f_(f), pending_(pending), pendingCount_(pendingCount) {}
    In(const uint8_t* data, size_t size) : pending_(data), pendingCount_(size) {}
    bool bytes(uint8_t* b, size_t n) {
        if (ended_) return false;
        const size_t fromPending = n < pendingCount_ ? n : pendingCount_;
        if (fromPending > 0) {
            std::memcpy(b, pending_, fromPending);
            pending_ += fromPending;
            pendingCount_ -= fromPending;
        }
        const size_t rest = n - fromPending;
        if (rest > 0 && (!f_ || std::fread(b + fromPending, 1, rest, f_) != rest)) ended_ = true;
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
    std::FILE* f_ = nullptr;
    const uint8_t* pending_;
    size_t pendingCount_;
    bool ended_ = false;
};

// One stored value of each field type, in the field's own width.
void put(Out& o, uint16_t v) { o.u16(v); }
void put(Out& o, int32_t v) { o.u32(static_cast<uint32_t>(v)); }
void put(Out& o, uint32_t v) { o.u32(v); }
void put(Out& o, uint64_t v) { o.u64(v); }
void put(Out& o, const StoredSingle& v) { o.u32(v.loadBits()); }
void put(Out& o, const StoredDouble& v) { o.u64(v.loadBits()); }

void get(In& in, uint16_t& v) {
    uint64_t b;
    if (in.le(b, 2)) v = static_cast<uint16_t>(b);
}
void get(In& in, int32_t& v) {
    uint64_t b;
    if (in.le(b, 4)) v = static_cast<int32_t>(static_cast<uint32_t>(b));
}
void get(In& in, uint32_t& v) {
    uint64_t b;
    if (in.le(b, 4)) v = static_cast<uint32_t>(b);
}
void get(In& in, uint64_t& v) {
    uint64_t b;
    if (in.le(b, 8)) v = b;
}
void get(In& in, StoredSingle& v) {
    uint64_t b;
    if (in.le(b, 4)) v.storeBits(static_cast<uint32_t>(b));
}
void get(In& in, StoredDouble& v) {
    uint64_t b;
    if (in.le(b, 8)) v.storeBits(b);
}

// A per-unit row: the field of slots 0 to n - 1.
template <class F>
void putRow(Out& o, const Document& d, int n, const F UnitRecord::*field) {
    for (int u = 0; u < n; ++u) put(o, d.units[u].*field);
}
template <class F>
void getRow(In& in, Document& d, int n, F UnitRecord::*field) {
    for (int u = 0; u < n; ++u) get(in, d.units[u].*field);
}

// The delay block, written twice. Its first word belongs to the older
// layout, whose reader halves it to find unit 0's send: it is written as
// twice that send, and read into nothing.
void putDelayBlock(Out& o, const Document& d) {
    put(o, mul32(2, static_cast<int32_t>(d.units[0].delaySend[0])));
    put(o, d.settings.delayPan);
    put(o, d.settings.delayFeedback);
    put(o, d.settings.delaySteps);
}
void getDelayBlock(In& in, EngineSettings& g) {
    int32_t ignored = 0;
    get(in, ignored);
    get(in, g.delayPan);
    get(in, g.delayFeedback);
    get(in, g.delaySteps);
}

// The step planes: for each unit, patterns 0 to P - 1, 16 bytes each.
template <class T>
void putPlane(Out& o, const T* plane, int n, int patterns) {
    for (int u = 0; u < n; ++u)
        for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
            const uint8_t b = static_cast<uint8_t>(plane[stepIndex(u, 0, i)]);
            o.bytes(&b, 1);
        }
}
template <class T>
void getPlane(In& in, T* plane, int n, int patterns) {
    for (int u = 0; u < n; ++u)
        for (int i = 0; i < patterns * kStepsPerPattern; ++i) {
            uint8_t b;
            if (in.bytes(&b, 1)) plane[stepIndex(u, 0, i)] = static_cast<T>(b);
        }
}

int16_t le16(const uint8_t* b) { return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8))); }

void readCurrentLayout(Document& st, In& in, const uint8_t* header) {
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
    const auto row = [&](auto field, const RowRule& rule) {
        if (rule.present == 0 || (present & rule.present) != 0) {
            getRow(in, st, n, field);
            return;
        }
        // Not in the file: every slot takes the row's fixed value.
        for (UnitRecord& r : st.units) r.*field = static_cast<std::remove_reference_t<decltype(r.*field)>>(rule.absent);
    };
    forEachOscillatorRow(row);

    uint64_t w;
    if (in.le(w, 4)) {
        // At most the 1024 samples of the table are taken; the rest is skipped.
        const int64_t stored = static_cast<int32_t>(static_cast<uint32_t>(w));
        const int64_t taken = stored < 0 ? 0 : (stored > kWaveLength ? kWaveLength : stored);
        for (int64_t i = 0; i < taken; ++i) {
            uint64_t sample;
            if (in.le(sample, 2)) st.userWave[i] = static_cast<int16_t>(static_cast<uint16_t>(sample));
        }
        if (stored > taken) in.skip(static_cast<uint64_t>(stored - taken) * 2);
    }

    getDelayBlock(in, g);
    getDelayBlock(in, g);  // the second copy's values stay
    for (int u = 0; u < n; ++u)
        for (auto& word : st.units[u].delaySend) get(in, word);
    forEachVoiceRow(row);
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

void readOldLayout(Document& st, In& in) {
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
    // The delay send of the whole mix: half of it is the unit's.
    if (in.le(b, 4)) r.delaySend[0] = static_cast<uint32_t>(static_cast<int32_t>(static_cast<uint32_t>(b)) / 2);
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
    get(in, r.midiChannel);
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

namespace {

void writeLayout(const Document& st, Out& o) {
    const EngineSettings& g = st.settings;
    // The counts are written as the reader takes them, so that the header
    // always agrees with the rows that follow it.
    const int n = clampInt(st.unitCount, 1, kUnitSlots);
    const int patterns = patternsToSave(st);
    const int songLength = clampInt(g.songLength, 0, kSongEntries);

    uint8_t version[16] = {};
    std::memcpy(version, kVersion, sizeof kVersion);
    o.bytes(version, sizeof version);
    o.u16(kAllFieldsPresent);
    o.u16(static_cast<uint16_t>(g.masterVolume));
    o.u16(static_cast<uint16_t>(n));
    o.u16(static_cast<uint16_t>(patterns));
    o.u16(static_cast<uint16_t>(songLength));
    o.u16(static_cast<uint16_t>(clampInt(g.swing, 0, 100)));
    o.u16(g.songMode != 0 ? 1 : 0);

    for (int u = 0; u < n; ++u) o.bytes(st.unitLinks[u], kUnitSlots);
    const auto row = [&](auto field, const RowRule&) { putRow(o, st, n, field); };
    forEachOscillatorRow(row);
    o.u32(kWaveLength);
    for (const WaveSample sample : st.userWave) o.u16(static_cast<uint16_t>(sample));
    putDelayBlock(o, st);
    putDelayBlock(o, st);
    for (int u = 0; u < n; ++u)
        for (const uint32_t word : st.units[u].delaySend) put(o, word);
    forEachVoiceRow(row);
    put(o, g.tempoBpm);
    putPlane(o, st.stepPitch, n, patterns);
    putPlane(o, st.stepNoteOn, n, patterns);
    putPlane(o, st.stepSlide, n, patterns);
    putPlane(o, st.stepSpare, n, patterns);
    o.bytes(g.songSequence, static_cast<size_t>(songLength));
}

}  // namespace

int writePatternStream(const Document& d, std::FILE* f) {
    Out o(f);
    writeLayout(d, o);
    return o.ok() ? 1 : 0;
}

void writePatternBytes(const Document& d, std::string& bytes) {
    bytes.clear();
    Out o(bytes);
    writeLayout(d, o);
}

int writePatternFile(const Document& d, const char* path, SaveResult* result) {
    // The old file stays as it was unless the new one was written whole.
    const SaveResult r = saveFile(path, [&](std::FILE* f) { return writePatternStream(d, f) == 1; });
    if (result) *result = r;
    return r.ok() ? 1 : 0;
}

int readPatternStream(std::FILE* f, Document& doc, PatternReadStatus* status) {
    PatternReadStatus ignored;
    PatternReadStatus& result = status ? *status : ignored;
    uint8_t header[kPatternHeaderSize];
    const size_t got = std::fread(header, 1, sizeof header, f);
    if (std::ferror(f)) {
        result = PatternReadStatus::kReadError;
        return 0;
    }
    if (got >= sizeof kVersion && std::memcmp(header, kVersion, sizeof kVersion) == 0) {
        if (got < sizeof header) {
            // No counts to take: the file is refused.
            result = PatternReadStatus::kShortHeader;
            return 0;
        }
        In in(f);
        readCurrentLayout(doc, in, header);
        result = PatternReadStatus::kCurrentLayout;
    } else {
        // Not the current layout: the bytes taken for a header are the
        // older layout's first fields.
        In in(f, header, got);
        readOldLayout(doc, in);
        result = PatternReadStatus::kOldLayout;
    }
    // The end of the data ends a file cut short, which fills as far as it
    // reaches; a failed read ends nothing but the attempt.
    if (std::ferror(f)) {
        result = PatternReadStatus::kReadError;
        return 0;
    }
    return 1;
}

int readPatternBytes(const void* data, size_t size, Document& doc, PatternReadStatus* status) {
    PatternReadStatus ignored;
    PatternReadStatus& result = status ? *status : ignored;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (size >= sizeof kVersion && std::memcmp(bytes, kVersion, sizeof kVersion) == 0) {
        if (size < kPatternHeaderSize) {
            result = PatternReadStatus::kShortHeader;
            return 0;
        }
        In in(bytes + kPatternHeaderSize, size - kPatternHeaderSize);
        readCurrentLayout(doc, in, bytes);
        result = PatternReadStatus::kCurrentLayout;
    } else {
        In in(bytes, size);
        readOldLayout(doc, in);
        result = PatternReadStatus::kOldLayout;
    }
    return 1;
}

int loadPatternStream(Synth& s, std::FILE* f, PatternReadStatus* status) {
    // Parsed into a copy, which takes the place of the document only when
    // the whole read succeeded.
    auto loaded = std::make_unique<Document>(s.score.doc);
    if (!readPatternStream(f, *loaded, status)) return 0;
    installDocument(s, *loaded);
    markSaved(s);
    return 1;
}

int loadPatternFile(Synth& s, const char* path, PatternReadStatus* status) {
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        if (status) *status = PatternReadStatus::kCannotOpen;
        return 0;
    }
    const int result = loadPatternStream(s, f, status);
    std::fclose(f);
    return result;
}

}  // namespace velmor
