#include "files/midi_import.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/arith.h"
#include "model/units.h"

namespace velmor {

namespace {

constexpr int kMaxSteps = kSongEntries * kStepsPerPattern;
constexpr int kImportedUnits = kMaxUnitsInUse;
constexpr int8_t kRestPitch = 15;

// File time in whole units, in which a step at the first tempo lasts `step`:
// a metrical file's tick counts 4 x the tempo in force (microseconds per
// quarter note), a step the first tempo x the division; an SMPTE file's tick
// counts 4000000, a step the first tempo x the ticks of a second (both
// x 1001 at 29.97 frames a second). Times saturate at `cap`, a little past
// the last step a song holds.
class Timeline {
public:
    explicit Timeline(const MidiFileIn& f) {
        uint32_t first = kDefaultMicrosPerQuarter;
        if (!f.tempos.empty()) {
            // The last of the tempo events at the earliest tick.
            size_t i = 0;
            while (i + 1 < f.tempos.size() && f.tempos[i + 1].tick == f.tempos[0].tick) ++i;
            first = f.tempos[i].microsPerQuarter;
        }
        firstTempo = first;
        if (f.smpteFrames != 0) {
            // Tempo changes do not move SMPTE time.
            const bool drop = f.smpteFrames == 29;
            step = int64_t{first} * (drop ? 30000 : f.smpteFrames) * f.ticksPerFrame;
            cap = step * (kMaxSteps + 2);
            segments_.push_back({0, 0, drop ? int64_t{4000000} * 1001 : 4000000});
            return;
        }
        step = int64_t{first} * f.ticksPerQuarter;
        cap = step * (kMaxSteps + 2);
        segments_.push_back({0, 0, 4 * int64_t{kDefaultMicrosPerQuarter}});
        for (const MidiTempo& t : f.tempos) {
            // A later tempo at the same tick is found after the earlier one.
            segments_.push_back({t.tick, (*this)(t.tick), 4 * int64_t{t.microsPerQuarter}});
        }
    }

    // The time of a tick (0 or more).
    int64_t operator()(int64_t tick) const {
        auto it =
            std::upper_bound(segments_.begin(), segments_.end(), tick, [](int64_t t, const Segment& s) { return t < s.tick; });
        const Segment& s = *(it - 1);
        const int64_t ticks = tick - s.tick;
        if (s.at >= cap || ticks > (cap - s.at) / s.weight) return cap;
        return s.at + ticks * s.weight;
    }
    // The nearest step of a time (a half step up).
    int64_t stepOf(int64_t v) const { return (2 * v + step) / (2 * step); }

    uint32_t firstTempo;
    int64_t step;
    int64_t cap;

private:
    struct Segment {
        int64_t tick, at, weight;
    };
    std::vector<Segment> segments_;
};

struct Step {
    int8_t pitch = kRestPitch;
    uint8_t on = 0, slide = 0, accent = 0;
    bool operator==(const Step&) const = default;
};

int8_t foldPitch(int key) {
    int p = key - 21;
    while (p < 3) p += 12;
    while (p > 51) p -= 12;
    return static_cast<int8_t>(p);
}

struct Placed {
    int64_t start, end;  // times
    int64_t step;
    uint8_t key, velocity;
};

// One channel's notes into its steps; returns the steps its notes reach.
int64_t placeChannel(std::vector<Placed>& notes, const Timeline& time, std::vector<Step>& steps, MidiImportReport& report) {
    std::sort(notes.begin(), notes.end(), [](const Placed& a, const Placed& b) {
        if (a.step != b.step) return a.step < b.step;
        if (a.start != b.start) return a.start < b.start;
        return a.key < b.key;
    });
    // The last note of each step wins.
    std::vector<Placed> winners;
    for (size_t i = 0; i < notes.size(); ++i) {
        if (i + 1 < notes.size() && notes[i + 1].step == notes[i].step) {
            ++report.merged;
            continue;
        }
        winners.push_back(notes[i]);
    }
    int64_t reach = 0;
    for (size_t i = 0; i < winners.size(); ++i) {
        const Placed& n = winners[i];
        const int64_t next = i + 1 < winners.size() ? winners[i + 1].step : kMaxSteps;
        const int8_t pitch = foldPitch(n.key);
        steps[static_cast<size_t>(n.step)] = {pitch, 1, 0, static_cast<uint8_t>(n.velocity > 100 ? 1 : 0)};
        // The steps up to where its end rounds are ties.
        const int64_t covered = std::min(std::max(time.stepOf(n.end), n.step + 1), next);
        for (int64_t k = n.step + 1; k < covered; ++k) {
            steps[static_cast<size_t>(k - 1)].slide = 1;
            steps[static_cast<size_t>(k)] = {pitch, 1, 0, 0};
        }
        bool slides;
        if (covered == next && i + 1 < winners.size())
            slides = n.end > winners[i + 1].start;
        else
            slides = n.end - covered * time.step > time.step || 3 * (n.end - covered * time.step) > time.step;
        if (slides) steps[static_cast<size_t>(covered - 1)].slide = 1;
        reach = std::max(reach, covered);
    }
    // A step that the step before holds its pitch into strikes no note: it
    // has no accent of its own (and an export makes one note of the two).
    for (int64_t k = 1; k < reach; ++k) {
        const Step& before = steps[static_cast<size_t>(k - 1)];
        Step& st = steps[static_cast<size_t>(k)];
        if (before.on && before.slide && st.on && st.pitch == before.pitch) st.accent = 0;
    }
    return reach;
}

// What unit 1 holds right after start-up, worked out once.
const UnitRecord& startUpUnit() {
    static const UnitRecord unit = [] {
        auto fresh = makeSynth();
        startUpState(*fresh);
        return fresh->score.doc.units[0];
    }();
    return unit;
}

}  // namespace

std::string MidiImportReport::text() const {
    std::string t = std::to_string(positions) + (positions == 1 ? " song position (" : " song positions (") +
                    std::to_string(patterns) + (patterns == 1 ? " pattern" : " patterns") + ") at " + std::to_string(tempoBpm) +
                    " BPM in " + std::to_string(units) + (units == 1 ? " unit: " : " units: ") + std::to_string(placed) +
                    (placed == 1 ? " note placed, " : " notes placed, ") + std::to_string(merged) + " merged";
    if (merged > 0) t += " (a later or higher note of their channel starts in the same step)";
    const int dropped = droppedChannel + droppedLate + droppedPatterns;
    t += ", " + std::to_string(dropped) + " dropped";
    std::vector<std::string> why;
    if (droppedChannel > 0) why.push_back(std::to_string(droppedChannel) + " on channels 5 to 16, which have no unit");
    if (droppedLate > 0) why.push_back(std::to_string(droppedLate) + " after the 512th song position");
    if (droppedPatterns > 0)
        why.push_back(std::to_string(droppedPatterns) + " in positions that would need more than 64 patterns");
    for (size_t i = 0; i < why.size(); ++i) t += (i == 0 ? " (" : "; ") + why[i] + (i + 1 == why.size() ? ")" : "");
    return t + ".";
}

void buildImportedDocument(const MidiFileIn& file, const Document& current, const UnitRecord& startUpUnit, Document& imported,
                           MidiImportReport& report) {
    report = MidiImportReport{};
    const Timeline time(file);

    std::vector<Placed> byChannel[kImportedUnits];
    for (const MidiNote& n : file.notes) {
        if (n.channel >= kImportedUnits) {
            ++report.droppedChannel;
            continue;
        }
        const int64_t start = time(n.start);
        const int64_t step = time.stepOf(start);
        if (start >= time.cap || step >= kMaxSteps) {
            ++report.droppedLate;
            continue;
        }
        byChannel[n.channel].push_back({start, time(n.end), step, n.key, n.velocity});
    }

    const int before = clampInt(current.unitCount, 1, kUnitSlots);
    int units = before;
    const unsigned wanted = (file.channelsWithNotes | file.namedChannels) & ((1u << kImportedUnits) - 1);
    for (int c = 0; c < kImportedUnits; ++c)
        if ((wanted >> c) & 1) units = std::max(units, c + 1);

    // Every unit's steps over the whole song; the song ends where the file
    // ends or its last note does, rounded to steps.
    std::vector<std::vector<Step>> steps(static_cast<size_t>(units), std::vector<Step>(kMaxSteps + 1));
    int64_t songSteps = std::min<int64_t>(time.stepOf(time(file.endTick)), kMaxSteps);
    for (int c = 0; c < kImportedUnits && c < units; ++c) {
        songSteps = std::max(songSteps, placeChannel(byChannel[c], time, steps[static_cast<size_t>(c)], report));
    }
    songSteps = std::clamp<int64_t>(songSteps, 1, kMaxSteps);
    int positions = static_cast<int>((songSteps + kStepsPerPattern - 1) / kStepsPerPattern);

    // Positions into patterns, by first appearance.
    std::vector<std::vector<Step>> patterns;
    std::vector<int> song;
    for (int p = 0; p < positions; ++p) {
        std::vector<Step> content;
        for (const auto& unit : steps)
            content.insert(content.end(), unit.begin() + p * kStepsPerPattern, unit.begin() + (p + 1) * kStepsPerPattern);
        auto found = std::find(patterns.begin(), patterns.end(), content);
        if (found == patterns.end()) {
            if (patterns.size() == kPatternsPerUnit) {
                positions = p;
                break;
            }
            patterns.push_back(std::move(content));
            found = patterns.end() - 1;
        }
        song.push_back(static_cast<int>(found - patterns.begin()));
    }
    // Placed notes count once each: a merged note was counted already.
    for (int c = 0; c < kImportedUnits && c < units; ++c) {
        std::vector<int64_t> starts;
        for (const Placed& n : byChannel[c]) starts.push_back(n.step);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        for (int64_t s : starts) (s < int64_t{positions} * kStepsPerPattern ? report.placed : report.droppedPatterns)++;
    }

    imported = current;
    Document& d = imported;
    for (int i = 0; i < kUnitSlots * kStepsPerSlot; ++i) {
        d.stepPitch[i] = kRestPitch;
        d.stepNoteOn[i] = 1;
        d.stepSlide[i] = 0;
        d.stepSpare[i] = 0;
    }
    for (size_t p = 0; p < patterns.size(); ++p)
        for (int u = 0; u < units; ++u)
            for (int k = 0; k < kStepsPerPattern; ++k) {
                const Step& st = patterns[p][static_cast<size_t>(u * kStepsPerPattern + k)];
                const int at = stepIndex(u, static_cast<int>(p), k);
                d.stepPitch[at] = st.pitch;
                d.stepNoteOn[at] = st.on;
                d.stepSlide[at] = st.slide;
                d.stepSpare[at] = st.accent;
            }
    for (int u = before; u < units; ++u) {
        d.units[u] = startUpUnit;
        std::memset(d.unitLinks[u], 0, sizeof d.unitLinks[u]);
        d.unitLinks[u][u] = 1;
    }
    d.unitCount = units;
    EngineSettings& g = d.settings;
    g.tempoBpm = clampInt(static_cast<int32_t>((int64_t{60000000} + time.firstTempo / 2) / time.firstTempo), 60, 180);
    g.patternCount = static_cast<int32_t>(patterns.size());
    g.songLength = positions;
    std::memset(g.songSequence, 0, sizeof g.songSequence);
    for (int p = 0; p < positions; ++p) g.songSequence[p] = static_cast<uint8_t>(song[static_cast<size_t>(p)]);
    g.songMode = 1;

    report.positions = positions;
    report.patterns = static_cast<int>(patterns.size());
    report.units = units;
    report.tempoBpm = g.tempoBpm;
}

int importMidiBytes(Synth& s, const uint8_t* data, size_t size, std::string& message) {
    MidiFileIn file;
    if (!readMidiBytes(data, size, file, message)) return 0;
    auto imported = std::make_unique<Document>();
    MidiImportReport report;
    buildImportedDocument(file, s.score.doc, startUpUnit(), *imported, report);
    installDocument(s, *imported);
    message = report.text();
    return 1;
}

int importMidiFile(Synth& s, const char* path, std::string& message) {
    std::vector<uint8_t> bytes;
    if (!loadFileBytes(path, bytes, message)) return 0;
    return importMidiBytes(s, bytes.data(), bytes.size(), message);
}

}  // namespace velmor
