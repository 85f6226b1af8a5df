#pragma once
// What must hold for any input of the MIDI reader, for the fuzz target and
// the corpus replay: a file is read whole or refused with its place; a read
// file imports into a document within its limits, with every note of the
// file placed, merged or dropped; and the imported song, exported and
// imported again, gives the same steps. Returns what failed, or "".

#include <cstring>
#include <memory>
#include <string>

#include "files/midi_export.h"
#include "files/midi_file.h"
#include "files/midi_import.h"
#include "support/test_synth.h"

namespace velmor::testing {

inline std::string checkMidiInput(const uint8_t* data, size_t size) {
    static const std::unique_ptr<Synth> started = startedSynth();
    MidiFileIn in;
    std::string error;
    if (!readMidiBytes(data, size, in, error)) return error.rfind("byte ", 0) == 0 ? "" : "refused without a place: " + error;
    const auto once = std::make_unique<Score>(started->score);
    MidiImportReport r;
    buildImportedDocument(in, started->score.doc, started->score.doc.units[0], once->doc, r);
    const Document& d = once->doc;
    const EngineSettings& g = d.settings;
    if (d.unitCount < 1 || d.unitCount > kMaxUnitsInUse) return "unit count " + std::to_string(d.unitCount);
    if (g.patternCount < 1 || g.patternCount > kPatternsPerUnit || g.songLength < 1 || g.songLength > kSongEntries)
        return "patterns " + std::to_string(g.patternCount) + ", positions " + std::to_string(g.songLength);
    for (int i = 0; i < g.songLength; ++i)
        if (g.songSequence[i] >= g.patternCount) return "position " + std::to_string(i) + " names no pattern";
    for (int u = 0; u < d.unitCount; ++u)
        for (int i = 0; i < g.patternCount * kStepsPerPattern; ++i) {
            const int at = stepIndex(u, 0, i);
            if (d.stepPitch[at] < 3 || d.stepPitch[at] > 51) return "pitch " + std::to_string(d.stepPitch[at]);
        }
    if (r.placed + r.merged + r.droppedChannel + r.droppedLate + r.droppedPatterns != static_cast<int>(in.notes.size()))
        return "notes lost: " + r.text();

    const std::vector<uint8_t> file = exportMidiBytes(*once);
    MidiFileIn again;
    if (!readMidiBytes(file.data(), file.size(), again, error)) return "the export does not read: " + error;
    const auto twice = std::make_unique<Document>();
    buildImportedDocument(again, d, d.units[0], *twice, r);
    return std::memcmp(&d, twice.get(), sizeof d) == 0 ? "" : "exported and imported again, the document differs";
}

}  // namespace velmor::testing
