#pragma once
// The output format of every Windows device: 16-bit stereo PCM at 44100
// frames per second. Windows only.

#include <windows.h>

#include <mmsystem.h>

namespace velmor {

inline WAVEFORMATEX outputFormat() {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.nAvgBytesPerSec = 176400;
    f.nBlockAlign = 4;
    f.wBitsPerSample = 16;
    f.cbSize = 0;
    return f;
}

}  // namespace velmor
