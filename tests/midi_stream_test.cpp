// MIDI beside the sound output, against a simulated device: keys received
// while the stream plays sound one stream buffer later at their offset, bit
// for bit as a render of the same events; the frame clock between the play
// position's steps; a full queue loses no note-off for good; the clock
// output's order; the kept settings and the units' channels.

#include <gtest/gtest.h>

#include "audio/midi_stream.h"
#include "engine/note_input.h"
#include "files/midi_settings.h"
#include "model/midi_channels.h"
#include "support/fake_device.h"
#include "support/memory_files.h"
#include "support/test_synth.h"

namespace velmor {
namespace {

using testing::command, testing::FakeDevice;

uint32_t packed(uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0) { return status | data1 << 8 | data2 << 16; }

// A device whose microsecond clock follows the play position exactly.
struct TimedDevice : FakeDevice {
    using FakeDevice::FakeDevice;
    int64_t microseconds() override { return micros; }
    int64_t micros = 0;
};

// The program's stream while a MIDI input is open: the sequencer standing,
// following the clock; what the refills write, in order.
struct Monitor {
    explicit Monitor(uint32_t bytes) : device(bytes) {
        testing::attach(out, device);
        applyCommand(s->engine, command(EngineCommand::kClockSync, 1)), applyCommand(s->engine, command(EngineCommand::kSequencer, 0));
        startOutput(out, s->engine);
        heard.assign(device.memory.begin(), device.memory.end());
    }
    // The play position moves on to `position` (bytes, counted on across wraps).
    void playTo(uint64_t position) {
        const size_t before = device.locks.size();
        device.position = static_cast<uint32_t>(position % device.memory.size());
        device.micros = static_cast<int64_t>((position / 4 * 1000000 + 44099) / 44100);
        audioTick(out, s->engine);
        for (size_t i = before; i < device.locks.size(); ++i)
            heard.insert(heard.end(), device.memory.begin() + device.locks[i].offset,
                         device.memory.begin() + device.locks[i].offset + device.locks[i].bytes);
    }
    void receive(uint32_t message) {
        const uint32_t p = device.position;
        receiver.receive(s->engine, out.clock, message, out.clock.frameAt(p, device.microseconds()), device.microseconds());
    }
    std::unique_ptr<Synth> s = testing::startedSynth();
    TimedDevice device;
    AudioOutput out;
    MidiReceiver receiver;
    std::vector<uint8_t> heard;
};

// The same events at the same frames, rendered in one go as the renderer's
// --events does.
std::vector<uint8_t> reference(const std::vector<TimedCommand>& events, int frames) {
    std::vector<EngineEvent> at = {{0, command(EngineCommand::kClockSync, 1)}, {0, command(EngineCommand::kSequencer, 0)}};
    for (const TimedCommand& t : events) at.push_back({static_cast<int32_t>(t.frame), t.command});
    const auto out = testing::renderEvents(testing::startedSynth()->engine, at, frames, [=] { return frames; });
    return {reinterpret_cast<const uint8_t*>(out.data()), reinterpret_cast<const uint8_t*>(out.data() + out.size())};
}

TEST(MidiStream, KeysSoundOneBufferAfterTheyArriveAtTheirOffsetBitForBit) {
    for (uint32_t bytes : {32768u, 4608u}) {
        Monitor m(bytes);
        const int64_t buffer = bytes / 4;
        std::vector<TimedCommand> sent;
        // A key at a third of the second buffer, its release half a buffer
        // later, a key the other unit's channel plays and a stray note-off.
        // clang-format off
        const struct { uint64_t at; uint32_t message; } keys[] = {
            {bytes + bytes / 3, packed(0x90, 45, 100)}, {bytes + bytes / 3 + bytes / 2, packed(0x80, 45, 0)},
            {3 * bytes + 400, packed(0x90, 50, 120)},   {3 * bytes + 800, packed(0x91, 52, 64)},
            {4 * bytes, packed(0x80, 60, 0)},           {4 * bytes + 4, packed(0x80, 50, 0)}};
        // clang-format on
        uint64_t position = 0;
        for (const auto& k : keys) {
            for (; position < k.at; position += 176) m.playTo(position);
            m.playTo(k.at);
            m.receive(k.message);
            const int64_t stamp = m.receiver.stampOf(m.receiver.received() - 1);
            EXPECT_EQ(stamp, static_cast<int64_t>(k.at / 4) + buffer) << bytes;
            sent.push_back({stamp, EngineCommand::midi(k.message & 0xFF, k.message >> 8 & 0xFF, k.message >> 16)});
        }
        for (; position < 8 * bytes; position += 176) m.playTo(position);
        ASSERT_GE(m.heard.size(), 7 * bytes);
        m.heard.resize(7 * bytes);
        EXPECT_TRUE(m.heard == reference(sent, 7 * bytes / 4)) << bytes;
        EXPECT_EQ(m.s->engine.keys[0].count + m.s->engine.keys[1].count, 0);
    }
}

TEST(MidiStream, AFullQueueEndsInAllNotesOffAndMessagesComeApartWhateverTheirPacking) {
    Monitor m(32768);
    m.playTo(1000);
    // Running status (a message packed without its status byte), real-time
    // bytes and SysEx packed as a device may send them.
    for (uint32_t message :
         {packed(0x90, 40, 90), packed(41, 90), packed(0xF8), packed(0xF0, 1, 2), packed(3, 0xF7), packed(0x90, 43, 0), packed(44, 64)})
        m.receive(message);
    std::vector<std::vector<int>> queued;
    for (const TimedCommand* t; (t = m.s->engine.input.midi.front()); m.s->engine.input.midi.pop())
        queued.push_back({t->command.bytes[0], t->command.bytes[1], t->command.bytes[2], t->command.size});
    EXPECT_EQ(queued, (std::vector<std::vector<int>>{{0x90, 40, 90, 3}, {0x90, 41, 90, 3}, {0xF8, 0, 0, 1}, {0x90, 43, 0, 3}, {0x90, 44, 64, 3}}));

    // The queue full (the audio thread late): what does not fit is lost,
    // and every channel's notes go off before the next message that fits.
    m.receive(packed(0x90, 45, 100));
    for (uint32_t i = 0; i < kMidiCapacity; ++i) m.receive(packed(0xF8));
    m.receive(packed(0x80, 45, 0));  // lost
    for (uint64_t i = 1; i <= 4; ++i) m.playTo(1000 + 16384 * i);
    EXPECT_EQ(m.s->engine.keys[0].count, 1);
    m.receive(packed(0xF8));
    for (uint64_t i = 5; i <= 8; ++i) m.playTo(1000 + 16384 * i);
    EXPECT_EQ(m.s->engine.keys[0].count, 0);
    EXPECT_EQ(m.receiver.received(), 7u + 2 + kMidiCapacity + 1);
    for (uint32_t i = 1; i < m.receiver.received(); ++i) ASSERT_LE(m.receiver.stampOf(i - 1), m.receiver.stampOf(i)) << "stamps never go back";
}

TEST(FrameClock, RunsOnBetweenThePositionsStepsAndCountsOnAcrossWraps) {
    FrameClock clock;
    clock.start(100000, 4608);
    // The position moves 441 frames every 10 ms, a millisecond late every
    // other time; the clock is read every millisecond for 2 s.
    int64_t worst = 0;
    for (int64_t ms = 0; ms <= 2000; ++ms) {
        const int64_t steps = (ms - (ms / 10 % 2)) / 10;
        const uint32_t position = static_cast<uint32_t>(steps * 441 * 4 % 4608);
        clock.update(position, ms * 1000);
        const int64_t at = clock.frameAt(position, ms * 1000 + 500);
        EXPECT_GE(at, clock.cursorFrame(position));
        EXPECT_EQ(clock.cursorFrame(position), 100000 + steps * 441);
        if (ms > 200) worst = std::max(worst, std::abs(at - (100000 + (ms * 1000 + 500) * 441 / 10000)));
    }
    EXPECT_LE(worst, 50) << "within about a millisecond of the steps' average";
}

TEST(ClockSender, StartBeforeTheFirstTickStopAndPositionAfterTheLastStaleTicksDropped) {
    auto s = testing::startedSynth();
    ClockSender sender;
    s->engine.clockOut.count = 3;
    s->engine.clockOut.frames[0] = 0, s->engine.clockOut.frames[1] = 1378, s->engine.clockOut.frames[2] = 2756;
    sender.collect(s->engine, 1000);  // a stream that ended unheard
    sender.collect(s->engine, 5000);
    sender.at(5000, ClockSender::kStart);
    sender.at(6378, ClockSender::kStop);
    sender.at(6378, songPositionMessage(300));
    uint32_t out[8];
    EXPECT_EQ(sender.due(4999, 5000, out, 8), 0);
    EXPECT_EQ(std::vector<uint32_t>(out, out + sender.due(5000, 5000, out, 8)), (std::vector<uint32_t>{0xFA, 0xF8}));
    EXPECT_EQ(std::vector<uint32_t>(out, out + sender.due(9000, 5000, out, 8)), (std::vector<uint32_t>{0xFC, 0x022CF2, 0xF8, 0xF8}));
    sender.collect(s->engine, 9000);
    sender.at(20000, ClockSender::kStop);
    sender.drop();
    EXPECT_EQ(sender.due(30000, 0, out, 8), 0);
}

TEST(ClockSender, NotesGoOutAmongTheTicksInFrameOrderAndAStopEndsThoseSentAndNotEnded) {
    auto s = testing::startedSynth();
    Engine& e = s->engine;
    ClockSender sender;
    e.clockOut.count = 2;
    e.clockOut.frames[0] = 0, e.clockOut.frames[1] = 1378;
    e.noteOut.count = 4;
    e.noteOut.messages[0] = {0, {0x90, 45, 100}};
    e.noteOut.messages[1] = {700, {0x81, 50, 0}};
    e.noteOut.messages[2] = {1378, {0x91, 52, 127}};
    e.noteOut.messages[3] = {2000, {0x92, 60, 100}};
    sender.collect(e, 1000);
    uint32_t out[8];
    int64_t at[8];
    const int n = sender.due(2500, 1000, out, 8, at);
    EXPECT_EQ(std::vector<uint32_t>(out, out + n), (std::vector<uint32_t>{0xF8, 0x642D90, 0x3281, 0xF8, 0x7F3491}));
    EXPECT_EQ(std::vector<int64_t>(at, at + n), (std::vector<int64_t>{1000, 1000, 1700, 2378, 2378}));
    sender.drop();  // the note at 3000 was never sent
    EXPECT_EQ(std::vector<uint32_t>(out, out + sender.endNotes(out, 8)), (std::vector<uint32_t>{0x2D80, 0x3481}));
    EXPECT_EQ(sender.endNotes(out, 8), 0);
}

TEST(MidiSettings, KeptAndReadBackAnythingDamagedMeansNoDevice) {
    const MidiSettings chosen{"USB Keys", "Drum = Machine", true, false, true, 5};
    const auto read = [](const std::vector<uint8_t>& bytes) {
        return testing::readBytes(bytes, bytes.size(), [](std::FILE* f) { return readMidiSettings(f); });
    };
    EXPECT_EQ(read(testing::writtenBytes([&](std::FILE* f) { EXPECT_TRUE(writeMidiSettings(f, chosen)); })), chosen);
    for (const std::string& damaged : std::vector<std::string>{"input=Keys\nsync=2\n", "input=Keys\ngarbage\n", "inputs=Keys\n", "\x01\x02\x7f\x80",
                                                               "input=Keys\nsync=1\nsend-clock=1\noutput=\x01\n", "local-off=16\n", "local-off=-1\n",
                                                               "send-notes=yes\n", std::string(100000, 'x')})
        EXPECT_EQ(read({damaged.begin(), damaged.end()}), MidiSettings{}) << damaged.substr(0, 40);
    EXPECT_EQ(loadMidiSettings("/nonexistent/velmor-midi.ini"), MidiSettings{});
    EXPECT_FALSE(writeMidiSettings(nullptr, MidiSettings{"line\nbreak", "", false, false}));
    // Without notes sent or a unit's sound off, the file is as it always was.
    const std::string plain = "# Velmor's MIDI devices and clock switches\ninput=Keys\noutput=\nsync=1\nsend-clock=1\n";
    EXPECT_EQ(testing::writtenBytes([](std::FILE* f) {
                  writeMidiSettings(f, MidiSettings{"Keys", "", true, true});
              }),
              std::vector<uint8_t>(plain.begin(), plain.end()));
}

TEST(UnitChannels, SetThroughAnEditForTheEngineTheOwnChannelStaysTheStoredDefault) {
    auto s = testing::startedSynth();
    addUnit(*s);
    EXPECT_EQ(unitListeningChannel(*s, 1), 2);
    setUnitChannel(*s, 1, 2);
    EXPECT_EQ(s->score.doc.units[1].midiChannel, 0) << "unit 2 on channel 2 is the default";
    setUnitChannel(*s, 0, 5), setUnitChannel(*s, 1, 0);
    setUnitChannel(*s, 2, 17);  // no such channel: nothing changes
    EXPECT_EQ((std::vector<int>{s->score.doc.units[0].midiChannel, s->score.doc.units[1].midiChannel, s->score.doc.units[2].midiChannel}),
              (std::vector<int>{5, kChannelOff, 0}));
    EXPECT_EQ((std::vector<int>{unitChannel(s->engine, 0), unitChannel(s->engine, 1), unitChannel(s->engine, 2)}), (std::vector<int>{4, -1, 2}));
    EXPECT_EQ(unitListeningChannel(*s, 1), 0);
}

}  // namespace
}  // namespace velmor
