#pragma once
// The Windows sound output: DirectSound behind OutputDevice. One primary
// buffer set to the output format and one looping stream buffer of
// AudioOutput::bufferBytes bytes that the refills write into.
//
// Windows only: this header and dsound_output.cpp are the only places that
// see DirectSound.

#include <windows.h>

#include <dsound.h>

#include "audio/output.h"

namespace velmor {

class DirectSoundDevice : public OutputDevice {
public:
    uint32_t playPosition() override;
    long lock(uint32_t offset, uint32_t bytes, LockedRegion& region) override;
    void unlock(const LockedRegion& region) override;
    void rewind() override;
    void playLooping() override;
    void stopStream() override;
    void stopPrimary() override;
    uint32_t milliseconds() override;
    int64_t microseconds() override;

    IDirectSound* directSound = nullptr;
    IDirectSoundBuffer* primaryBuffer = nullptr;
    IDirectSoundBuffer* streamBuffer = nullptr;
};

// Opens the output. With a null deviceId it first lists the output devices
// into out.devices and then opens the default device; an all-zero identifier
// also means the default device. Returns 0 when the device object cannot be
// created, else 1; out.outputReady tells whether the stream buffer exists.
int initAudioOutput(AudioOutput& out, DirectSoundDevice& ds, HWND window, const GUID* deviceId);

// Releases the stream buffer, the primary buffer and the device object.
void releaseAudioOutput(AudioOutput& out, DirectSoundDevice& ds);

// Releases and opens again on the selected device (after a change of device
// or of the buffer size). Says so in a message box and returns 0 on failure.
int recreateAudioOutput(AudioOutput& out, DirectSoundDevice& ds, HWND window);

}  // namespace velmor
