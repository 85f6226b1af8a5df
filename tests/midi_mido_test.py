#!/usr/bin/python3
# Exported MIDI files as a MIDI library that no one here wrote reads them.
#
# usage: midi_mido_test.py VELMOR_RENDER VELMOR_MIDI_NOTES [PATTERN.pat]...
#
# For the start-up state and each pattern file: velmor-render --export-midi
# writes the file; mido must find in it a format 1 file at 96 ticks per quarter
# note, the tempo track with its name, 4/4 and the tempo, and per unit a track
# with its name holding exactly the notes that velmor-midi-notes lists. The
# start-up state's notes are also checked against what is known of it. Then
# mido writes the notes again its own way (format 0, 480 ticks a quarter, note
# offs as note-ons of velocity 0), and velmor-render --import-midi must make the
# same pattern file of that as of the exported one.
import os, subprocess, sys, tempfile

try:
    import mido
except ImportError:
    sys.exit("midi_mido_test: python3-mido is missing (scripts/install-deps.sh installs it)")

render, lister, patterns = sys.argv[1], sys.argv[2], sys.argv[3:]
results = []


def check(what, ok):
    results.append(ok)
    if not ok:
        print("FAILED: " + what)


# What mido finds: the tempo, the time signature, the track names, the notes
# with their ends.
def read(path):
    f = mido.MidiFile(path)
    found = {"format": (f.type, f.ticks_per_beat), "tempo": [], "signature": [], "notes": []}
    found["tracks"] = [track.name for track in f.tracks]
    for track in f.tracks:
        tick, sounding = 0, {}
        for m in track:
            tick += m.time
            if m.type == "set_tempo":
                found["tempo"].append(m.tempo)
            elif m.type == "time_signature":
                found["signature"].append((m.numerator, m.denominator))
            elif m.type == "note_on" and m.velocity > 0:
                sounding.setdefault((m.channel, m.note), []).append((tick, m.velocity))
            elif m.type in ("note_on", "note_off") and sounding.get((m.channel, m.note)):
                start, velocity = sounding[(m.channel, m.note)].pop(0)
                found["notes"].append((m.channel, m.note, velocity, start, tick))
    found["notes"].sort()
    return found


# The notes as mido writes them: one track, 480 ticks a quarter.
def rewrite(found, path):
    events = []
    for channel, key, velocity, start, end in found["notes"]:
        events.append((start * 5, 1, mido.Message("note_on", channel=channel, note=key, velocity=velocity)))
        events.append((end * 5, 0, mido.Message("note_on", channel=channel, note=key, velocity=0)))
    events.sort(key=lambda e: (e[0], e[1], e[2].note))
    track = [mido.MetaMessage("set_tempo", tempo=found["tempo"][0], time=0)]
    track += [m.copy(time=t - (events[i - 1][0] if i else 0)) for i, (t, _, m) in enumerate(events)]
    mido.MidiFile(type=0, ticks_per_beat=480, tracks=[mido.MidiTrack(track)]).save(path)


with tempfile.TemporaryDirectory() as work:
    for pattern in [None] + patterns:
        name = os.path.basename(pattern) if pattern else "the start-up state"
        args = [pattern] if pattern else []
        exported = os.path.join(work, "exported.mid")
        subprocess.run([render] + args + ["--export-midi", exported], check=True)
        listed = subprocess.run([lister] + args, check=True, capture_output=True, text=True).stdout.splitlines()
        want_tracks = [line[6:] for line in listed if line.startswith("track ")]
        want_notes = sorted(tuple(int(v) for v in line.split()[1:]) for line in listed if line.startswith("note "))
        found = read(exported)
        check(name + ": format 1 at 96 ticks", found["format"] == (1, 96))
        check(name + ": the tempo, once", found["tempo"] == [int(listed[0].split()[1])])
        check(name + ": 4/4", found["signature"] == [(4, 4)])
        check(name + ": the track names", found["tracks"] == want_tracks)
        check(name + ": the notes", found["notes"] == want_notes)
        if not pattern:
            known = [(0, 36, 100, 24 * k, 24 * k + 23) for k in range(16)]
            check("the start-up state: 16 notes of C2 at 80 BPM", found["notes"] == known and found["tempo"] == [750000])
        # The same notes from another writer import to the same song.
        rewritten = os.path.join(work, "rewritten.mid")
        rewrite(found, rewritten)
        for source in (exported, rewritten):
            subprocess.run([render, "--import-midi", source, "--save", source + ".pat"], capture_output=True, check=True)
        check(name + ": mido's own file imports as the exported one",
              open(exported + ".pat", "rb").read() == open(rewritten + ".pat", "rb").read())

print("%d passed, %d failed" % (results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
