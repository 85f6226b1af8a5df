#pragma once
// MIDI bytes as they come down a cable, into whole messages: running status,
// System Real-Time bytes anywhere (even between a message's data bytes;
// Active Sensing and Reset are no message for Velmor),
// System Exclusive of any length skipped, and what is cut short or has no
// status dropped.

#include <cstdint>

namespace velmor {

struct MidiMessage {
    uint8_t status = 0;
    uint8_t data1 = 0;
    uint8_t data2 = 0;
    uint8_t size = 0;  // 1..3 bytes
};

// The bytes a message with this status byte takes, status included; 0 for
// a byte that starts no message of its own (data, SysEx, undefined).
int midiMessageSize(uint8_t status);

class MidiParser {
public:
    // Takes one byte; true when it completes a message, then in `out`.
    bool feed(uint8_t byte, MidiMessage& out);

private:
    uint8_t status_ = 0;  // running status; 0 when none
    uint8_t data_[2] = {};
    int have_ = 0;
    bool inSysEx_ = false;
};

}  // namespace velmor
