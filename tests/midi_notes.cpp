// velmor-midi-notes [PATTERN.pat]: the notes, tempo and track names that
// "Export MIDI..." writes for the start-up state or a pattern file, as
// lines for midi_mido_test.py to find in the file through mido:
//   tempo MICROSECONDS, track NAME, note CHANNEL KEY VELOCITY START END

#include <cstdio>

#include "files/midi_export.h"
#include "files/pattern_file.h"
#include "support/test_synth.h"

int main(int argc, char** argv) {
    using namespace velmor;
    auto s = testing::startedSynth();
    if (argc > 1 && loadPatternFile(*s, argv[1]) != 1) return 1;
    const MidiFileOut out = midiFromScore(s->score);
    std::printf("tempo %u\ntrack %s\n", out.microsPerQuarter, out.name.c_str());
    for (const MidiTrackOut& t : out.tracks) {
        std::printf("track %s\n", t.name.c_str());
        for (const MidiNote& n : t.notes)
            std::printf("note %d %d %d %lld %lld\n", n.channel, n.key, n.velocity, static_cast<long long>(n.start), static_cast<long long>(n.end));
    }
    return 0;
}
