#!/usr/bin/python3
# Files for the sessions of tests/daw/run.sh, and the checks of what Ardour
# exported. Run by Debian's own Python, which has python3-mido.
#
#   daw.py notes OUT.mid               the note file: 125 BPM, 48 ticks a quarter
#   daw.py first OUT.mid               every unit's first step at the start-up pitch
#   daw.py steps OUT.mid BPM           one bar with a note on every step
#   daw.py flat OUT.raw                a "User" waveform that holds one value
#   daw.py plan OUT.lua KEY=VALUE...   a session's plan for session.lua
#   daw.py preset DIR PATTERN.pat LABEL
#                                      the pattern as an LV2 preset in DIR/lv2
#   daw.py saved-pattern SESSION-FOLDER OUT.pat
#                                      the pattern an LV2 session saved
#   daw.py vst3-state SESSION.ardour PATTERN.pat [SYMBOL...]
#                                      the pattern as the VST3 plugin's state
#   daw.py same OUT.wav RENDER PATTERN.pat NOTES.mid
#                                      the export equals velmor-render --midi
#   daw.py onsets OUT.wav BPM STEPS RENDER PATTERN.pat lv2|vst3
#                                      a note starts at every host sixteenth
#   daw.py recorded SESSION-FOLDER RENDER PATTERN.pat
#                                      the notes recorded from the plugin are
#                                      those Export MIDI writes
import array, base64, glob, os, random, re, struct, subprocess, sys, tempfile, wave

import mido

RATE = 44100
# How far the song's start may stand from an export's first frame (see onsets).
SHIFT_MOST = 64
TEMPO = 480000  # microseconds a quarter: 125 BPM, exactly 441 frames a tick at 48 ticks
PPQN = 48


def track_of(notes, length):
    """A format 0 track at 125 BPM of (channel, key, velocity, start, end)."""
    events = []
    for ch, key, vel, start, end in notes:
        events.append((start, 1, mido.Message("note_on", channel=ch, note=key, velocity=vel)))
        events.append((end, 0, mido.Message("note_off", channel=ch, note=key, velocity=0)))
    events.sort(key=lambda e: (e[0], e[1]))
    track = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=TEMPO),
                            mido.MetaMessage("time_signature", numerator=4, denominator=4)])
    last = 0
    for tick, _, m in events:
        track.append(m.copy(time=tick - last))
        last = tick
    track.append(mido.MetaMessage("end_of_track", time=length - last))
    return track


def write_notes(path):
    """Four units over six bars after a sixteenth's rest: notes on and off the
    grid, keys held under later ones (legato slides), accents, a key let go
    and struck again on one tick, keys outside the step range."""
    rng = random.Random(125)
    notes = []  # (channel, key, velocity, start, end)
    bar = 4 * PPQN
    t = 12
    while t < 6 * bar:  # unit 1: a bass line
        key = rng.choice([28, 31, 33, 36, 38, 40, 43, 45, 48])
        velocity = rng.choice([64, 90, 100, 101, 127])
        start = t + rng.choice([0, 0, 0, 1, 5])
        length = rng.choice([3, 6, 9, 11, 14, 15])  # past 12: into the next note
        if notes and notes[-1][1] == key and notes[-1][4] > start:  # no slide into the same key
            notes[-1] = notes[-1][:4] + (start,)
        notes.append((0, key, velocity, start, start + length))
        t += 12 * rng.choice([1, 1, 1, 2])
    for b in range(6):
        s = b * bar + 12
        # unit 2: a key held under two later ones, let go in another order
        notes += [(1, 50, 100, s, s + 150), (1, 57, 120, s + 48, s + 72), (1, 62, 80, s + 60, s + 100)]
        # unit 3: a key let go and struck on the same tick
        notes += [(2, 40 + b, 110, s + 24, s + 60), (2, 40 + b, 60, s + 60, s + 84), (2, 95, 127, s + 120, s + 144)]
    for b in range(0, 6, 2):  # unit 4: low and very high keys, slid between
        s = b * bar + 19
        notes += [(3, 10, 101, s, s + 50), (3, 120, 100, s + 40, s + 90)]
    # The same key overlapping itself would pair its ends differently.
    for n in notes:
        assert not any(m is not n and m[:2] == n[:2] and m[3] < n[4] and n[3] < m[4] for m in notes), n
    mido.MidiFile(type=0, ticks_per_beat=PPQN, tracks=[track_of(notes, 6 * bar + 12)]).save(path)


def write_first_steps(path):
    """Key 36 (step pitch 15, the start-up pitch) on every unit's first step.
    Imported into a pattern, it leaves every unit where the plugin's stopped
    sequencer leaves it: velmor-render --midi lets the stopped sequencer take
    the first step's pitch, the plugin does not, and that pitch sets how the
    oscillators turn while no key is held."""
    ons = [mido.Message("note_on", channel=ch, note=36, velocity=100) for ch in range(4)]
    offs = [mido.Message("note_off", channel=ch, note=36, velocity=0, time=12 if ch == 0 else 0) for ch in range(4)]
    track = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=TEMPO)] + ons + offs)
    mido.MidiFile(type=0, ticks_per_beat=PPQN, tracks=[track]).save(path)


def write_steps(path, bpm):
    """A note on each of 16 steps, each key new, every fourth accented."""
    keys = [36, 48, 43, 39, 36, 51, 46, 41, 38, 50, 45, 40, 37, 49, 44, 42]
    track = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))])
    for k, key in enumerate(keys):
        track.append(mido.Message("note_on", note=key, velocity=127 if k % 4 == 0 else 100, time=0 if k == 0 else 12))
        track.append(mido.Message("note_off", note=key, velocity=0, time=12))
    mido.MidiFile(type=0, ticks_per_beat=96, tracks=[track]).save(path)


def write_flat_wave(path):
    """1024 samples of one value: oscillators playing it give a constant,
    so every note begins alike, whatever the oscillators' phases."""
    with open(path, "wb") as f:
        f.write(struct.pack("<1024h", *[12000] * 1024))


def read_notes(path):
    """(channel, start, length, key, velocity) of every note, in ticks."""
    notes, held, tick = [], {}, 0
    for m in mido.merge_tracks(mido.MidiFile(path).tracks):
        tick += m.time
        if m.type == "note_on" and m.velocity > 0:
            held[(m.channel, m.note)] = (tick, m.velocity)
        elif m.type in ("note_on", "note_off") and (m.channel, m.note) in held:
            start, velocity = held.pop((m.channel, m.note))
            notes.append((m.channel, start, tick - start, m.note, velocity))
    return sorted(notes)


def lua(value):
    if isinstance(value, str):
        return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'
    if isinstance(value, (list, tuple)):
        return "{" + ", ".join(lua(v) for v in value) + "}"
    if isinstance(value, dict):
        return "{" + ", ".join("[%s] = %s" % (lua(k), lua(v)) for k, v in value.items()) + "}"
    return str(value)


def write_plan(path, args):
    """KEY=VALUE: folder, name, format, bpm, frames, preset; param=NAME=VALUE
    for each parameter; midi=FILE for the notes of a MIDI file."""
    plan = {"params": {}}
    for a in args:
        key, value = a.split("=", 1)
        if key == "param":
            name, number = value.rsplit("=", 1)
            plan["params"][name] = int(number)
        elif key == "midi":
            plan["ppqn"] = mido.MidiFile(value).ticks_per_beat
            plan["notes"] = read_notes(value)
        else:
            plan[key] = int(value) if value.isdigit() else value
    with open(path, "w") as f:
        f.write("return " + lua(plan) + "\n")


def write_preset(folder, pattern, label):
    """The pattern file as an LV2 preset that loads it by its path (the
    "file" state), the file kept beside the preset."""
    with open(pattern, "rb") as f:
        data = f.read()
    bundle = os.path.join(folder, "velmor-%s.lv2" % label)
    os.makedirs(bundle, exist_ok=True)
    with open(os.path.join(bundle, label + ".pat"), "wb") as f:
        f.write(data)
    head = ("@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
            "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n@prefix state: <http://lv2plug.in/ns/ext/state#> .\n")
    with open(os.path.join(bundle, "manifest.ttl"), "w") as f:
        f.write(head + "<preset.ttl> a pset:Preset ; lv2:appliesTo <urn:velmor:velmor> ; rdfs:seeAlso <preset.ttl> .\n")
    with open(os.path.join(bundle, "preset.ttl"), "w") as f:
        f.write(head + '<> a pset:Preset ; lv2:appliesTo <urn:velmor:velmor> ; rdfs:label "%s" ;\n'
                "    state:state [ <urn:velmor:velmor#file> <%s.pat> ] .\n" % (label, label))


def set_vst3_state(session, pattern, keep):
    """The pattern as the VST3 plugin's state in a saved session: the chunk
    Ardour keeps (a .vstpreset's bytes: header, the component's state, the
    list of chunks) now holds the framework's "pattern" key, then of the
    parameters saved only those named in `keep` (the rest come from the
    pattern). Ardour 7.3 cannot load a VST3 preset headless: the plugin's
    request to rescan its parameters waits for Ardour's interface thread,
    which the Lua session tool does not run."""
    with open(session) as f:
        xml = f.read()
    found = re.search(r"<chunk>([^<]*)</chunk>", xml)
    blob = base64.b64decode(found.group(1))
    saved = blob[blob.index(b"__dpf_parameters_begin__\0") + 25:blob.index(b"__dpf_parameters_end__")].split(b"\0")
    kept = b"".join(k + b"\0" + v + b"\0" for k, v in zip(saved[0::2], saved[1::2]) if k.decode() in keep)
    with open(pattern, "rb") as f:
        value = b"Velmor pattern 1\n" + base64.b64encode(f.read())
    state = (b"__dpf_state_begin__\0pattern\0" + value + b"\0__dpf_state_end__\0"
             b"__dpf_parameters_begin__\0" + kept + b"__dpf_parameters_end__\0\xfe")
    start = 48  # "VST3", the version, the class ID in 32 characters, the list's offset
    chunk = blob[:40] + struct.pack("<q", start + len(state)) + state
    chunk += b"List" + struct.pack("<i", 1) + b"Comp" + struct.pack("<qq", start, len(state))
    with open(session, "w") as f:
        f.write(xml[:found.start(1)] + base64.b64encode(chunk).decode() + xml[found.end(1):])


def saved_pattern(folder, out):
    """The pattern file that an LV2 session's saved plugin state holds."""
    states = sorted(glob.glob(os.path.join(folder, "plugins", "*", "state*", "state.ttl")), key=os.path.getmtime)
    with open(states[-1]) as f:
        value = re.search(r'<urn:distrho:pattern> """Velmor pattern 1\n([^"]*)"""', f.read()).group(1)
    with open(out, "wb") as f:
        f.write(base64.b64decode(value))


def wave_frames(path):
    """Interleaved samples of a stereo WAVE file at 44100 Hz: 16-bit."""
    w = wave.open(path)
    if w.getnchannels() != 2 or w.getframerate() != RATE or w.getsampwidth() != 2:
        sys.exit("%s: not 16-bit stereo at %d Hz" % (path, RATE))
    samples = array.array("h")
    samples.frombytes(w.readframes(w.getnframes()))
    return samples


def float_frames(path):
    """Interleaved samples of a 32-bit float WAVE file (format 3), which the
    wave module does not read."""
    with open(path, "rb") as f:
        data = f.read()
    at, fmt, samples = 12, None, None
    while at + 8 <= len(data):
        kind, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        if kind == b"fmt ":
            fmt = struct.unpack("<HHIIHH", data[at + 8:at + 24])
        elif kind == b"data":
            samples = array.array("f")
            samples.frombytes(data[at + 8:at + 8 + size])
        at += 8 + size + (size & 1)
    if not fmt or fmt[0] not in (3, 0xFFFE) or fmt[1:3] != (2, RATE) or fmt[5] != 32 or samples is None:
        sys.exit("%s: not 32-bit float stereo at %d Hz" % (path, RATE))
    return samples


def unity(float_path, path):
    """Every float sample is the 16-bit sample / 32768: the plugin's own
    output (k / 32768), neither scaled nor dithered on the way."""
    got, whole = float_frames(float_path), wave_frames(path)
    if len(got) != len(whole):
        sys.exit("%s: %d frames, the 16-bit export %d" % (float_path, len(got) // 2, len(whole) // 2))
    for i, (f, k) in enumerate(zip(got, whole)):
        if f * 32768 != k:
            sys.exit("%s: frame %d (%s) is %r, the 16-bit export's %d / 32768 is %r" % (float_path, i // 2, "LR"[i % 2], f, k, k / 32768))
    print("%s: %d frames, each the 16-bit export's sample / 32768" % (float_path, len(got) // 2))


def with_lead(notes_path, lead, out):
    """The note file behind a rest of `lead` frames at the same tempo (125
    BPM, rounded): a first stretch of L ticks at a tempo near 480000 us that
    lasts `lead` frames to the nearest frame."""
    source = mido.MidiFile(notes_path)
    if lead == 0:
        source.save(out)
        return
    exact = lead * 48e6 / RATE  # microsecond-ticks
    ticks = max(1, round(exact / TEMPO))
    tempo = round(exact / ticks)
    track = mido.MidiTrack([mido.MetaMessage("set_tempo", tempo=tempo),
                            mido.MetaMessage("set_tempo", tempo=TEMPO, time=ticks)])
    track += [m for m in source.tracks[0] if m.type != "set_tempo"]
    mido.MidiFile(type=0, ticks_per_beat=PPQN, tracks=[track]).save(out)


def render(render_tool, pattern, midi, frames):
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.raw")
        subprocess.run([render_tool, pattern, "--midi", midi, "--frames", str(frames), "-o", out], check=True)
        samples = array.array("h")
        with open(out, "rb") as f:
            samples.frombytes(f.read())
    return samples


def same(path, render_tool, pattern, notes_path):
    """The export equals velmor-render --midi of the note file, once the
    rest that Ardour ran the plugin for before the export's first frame is
    put in front of it. Ardour runs every plugin while it pre-rolls an export
    (some 96000 frames here), and Velmor's oscillators and filters run on
    while no key is held, so the first key meets them where that left them;
    the rest is searched in steps of 256 frames (Ardour's pre-roll is whole
    blocks of that) from the first note's sound, then the whole export must
    agree."""
    got = wave_frames(path)
    frames = len(got) // 2
    loud = max(abs(v) for v in got)
    first = next(i for i, v in enumerate(got) if v) // 2
    if loud < 1000 or first < min(n[1] for n in read_notes(notes_path)) * 441:
        sys.exit("%s: silent, or sounding before its first note (peak %d)" % (path, loud))
    with tempfile.TemporaryDirectory() as work:
        lead_file = os.path.join(work, "lead.mid")
        for lead in range(0, 400000, 256):
            with_lead(notes_path, lead, lead_file)
            if render(render_tool, pattern, lead_file, lead + first + 600)[2 * (lead + first):] != got[2 * first:2 * (first + 600)]:
                continue
            want = render(render_tool, pattern, lead_file, lead + frames)[2 * lead:]
            for i, (g, w) in enumerate(zip(got, want)):
                if g != w:
                    sys.exit("%s: after a rest of %d frames, frame %d (%s) is %d where velmor-render has %d"
                             % (path, lead, i // 2, "LR"[i % 2], g, w))
            print("%s: %d frames equal to velmor-render's after a rest of %d frames (peak %d)" % (path, frames, lead, loud))
            return
    sys.exit("%s: no rest before the notes makes velmor-render's frames equal the export's" % path)


def onset_delay(render_tool, pattern):
    """The frames from a step's first frame to its first sounding one, as
    velmor-render plays the pattern: its second step starts at frame F / 16
    of a pass of F frames."""
    with tempfile.TemporaryDirectory() as work:
        out = os.path.join(work, "out.raw")
        subprocess.run([render_tool, pattern, "--pattern", "1", "--passes", "1", "-o", out], check=True)
        samples = array.array("h")
        with open(out, "rb") as f:
            samples.frombytes(f.read())
    start = len(samples) // 2 // 16
    return next(i for i in range(start, len(samples) // 2) if samples[2 * i] or samples[2 * i + 1]) - start


def sixteenth_frames(bpm, fmt):
    """The first frame of each sixteenth at BPM as the plugin learns it.
    Ardour keeps a tempo as a whole number of 1/282240000 s a quarter note
    and gives VST3 plugins that tempo (as a double), LV2 plugins the tempo
    as a 32-bit float, which reads BPM exactly: the two grids part by a
    frame now and then, the first time at the 954th sixteenth at 97 BPM."""
    if fmt == "lv2":
        return lambda k: -(-k * RATE * 15 // bpm)
    superclocks = round(282240000 * 60 / bpm)
    return lambda k: -(-k * superclocks * RATE // (4 * 282240000))


def onsets(path, bpm, steps, render_tool, pattern, fmt):
    """Every step strikes a note whose sound (of a flat waveform: see
    write_flat_wave) begins alike, and dies away before the next step: the
    host's sixteenth k starts at the frame where the song position crosses
    it (sixteenth_frames), so the frames just before that frame plus the
    note's silent first frames (as velmor-render plays it) are silent and
    the next one sounds. A step a frame early sounds a frame early, one a
    frame late is silent a frame longer. Step 0 is not judged: what the
    plugin played while Ardour pre-rolled the export may still sound.
    Ardour's export does not always begin where it tells the plugin the song
    begins: in some runs it rolls the transport 16 frames before the frame
    it exports as the song's first (the plugin sees position 0 that much
    earlier, and every later position to match). So the whole grid may
    stand a few frames off the file's start, the same for every step; the
    offset is found at step 1 and printed, and every step must keep it to
    the frame."""
    samples = wave_frames(path)
    sounds = lambda i: samples[2 * i] != 0 or samples[2 * i + 1] != 0
    delay = onset_delay(render_tool, pattern)
    first_frame = sixteenth_frames(bpm, fmt)
    at = first_frame(1) + delay
    start = next((i for i in range(at - SHIFT_MOST, at + SHIFT_MOST + 1) if sounds(i)), None)
    if start is None or any(sounds(i) for i in range(start - 32, start)):
        sys.exit("%s: step 1 does not sound within %d frames of frame %d after 32 silent ones: the notes are not "
                 "the pattern's short ones, or the steps are not on the host's grid" % (path, SHIFT_MOST, at))
    shift = start - at
    for k in range(1, steps):
        at = first_frame(k) + delay + shift
        if any(sounds(i) for i in range(at - 32, at)):
            sys.exit("%s: the 32 frames before step %d (at %d) are not silent: the step is early" % (path, k, at))
        if not sounds(at):
            late = next(i for i in range(at, len(samples) // 2) if sounds(i))
            sys.exit("%s: %.3f frames a sixteenth: step %d sounds from frame %d, not %d"
                     % (path, RATE * 15 / bpm, k, late, at))
    print("%s: %d steps, each at its host frame (%.3f frames a sixteenth, the sound %d frames into the step; "
          "the last step at frame %d; the song's start %d frames from the file's)"
          % (path, steps, RATE * 15 / bpm, delay, first_frame(steps - 1) + shift, shift))


def recorded(folder, render_tool, pattern):
    """The notes the track "Notes" recorded from the plugin's MIDI output
    (record.lua), to the nearest tick of the export's 96 a quarter (a half
    tick up, as the plugin's own notes are reckoned: Ardour's file has 19200
    a quarter), are those of one pass as "Export MIDI..." writes them; what
    starts after the pass (the next one's notes) is not judged."""
    take = glob.glob(os.path.join(folder, "interchange", "*", "midifiles", "*_Notes-*.mid"))
    with tempfile.TemporaryDirectory() as work:
        exported = os.path.join(work, "export.mid")
        subprocess.run([render_tool, pattern, "--song", "--export-midi", exported], check=True)
        want = read_notes(exported)
        per, pass_ticks = mido.MidiFile(exported).ticks_per_beat, sum(m.time for m in mido.MidiFile(exported).tracks[0])
    if len(take) != 1:
        sys.exit("%s: no one take of the track Notes" % folder)
    ppqn = mido.MidiFile(take[0]).ticks_per_beat
    tick = lambda t: (2 * t * per + ppqn) // (2 * ppqn)
    got = sorted((ch, tick(start), tick(start + length) - tick(start), key, velocity)
                 for ch, start, length, key, velocity in read_notes(take[0]) if tick(start) < pass_ticks)
    for g, w in zip(got, want):
        if g != w:
            sys.exit("%s: recorded (channel, start, length, key, velocity) %s where the export has %s" % (take[0], g, w))
    if len(got) != len(want):
        sys.exit("%s: %d notes recorded in the pass, the export has %d" % (take[0], len(got), len(want)))
    print("%s: the %d notes of a pass, each as the export has it (to the tick of 96 a quarter)" % (take[0], len(got)))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "notes":
        write_notes(args[0])
    elif command == "first":
        write_first_steps(args[0])
    elif command == "steps":
        write_steps(args[0], int(args[1]))
    elif command == "flat":
        write_flat_wave(args[0])
    elif command == "plan":
        write_plan(args[0], args[1:])
    elif command == "preset":
        write_preset(args[0], args[1], args[2])
    elif command == "saved-pattern":
        saved_pattern(args[0], args[1])
    elif command == "vst3-state":
        set_vst3_state(args[0], args[1], args[2:])
    elif command == "same":
        same(*args)
    elif command == "unity":
        unity(args[0], args[1])
    elif command == "recorded":
        recorded(*args)
    elif command == "onsets":
        onsets(args[0], int(args[1]), int(args[2]), args[3], args[4], args[5])
    else:
        sys.exit("daw.py: no command " + command)


if __name__ == "__main__":
    main()
