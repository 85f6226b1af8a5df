#pragma once
// Where a sound system's callback runs the program's block. A test that
// counts what the audio thread must never do (allocate, wait, touch a file)
// provides velmor_audio_block, preloaded; otherwise nothing happens.

extern "C" void velmor_audio_block(int entering) __attribute__((weak));

namespace velmor {

struct AudioBlockMark {
    AudioBlockMark() {
        if (velmor_audio_block) velmor_audio_block(1);
    }
    ~AudioBlockMark() {
        if (velmor_audio_block) velmor_audio_block(0);
    }
    AudioBlockMark(const AudioBlockMark&) = delete;
    AudioBlockMark& operator=(const AudioBlockMark&) = delete;
};

}  // namespace velmor
