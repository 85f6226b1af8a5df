#include "audio/dsound_output.h"

#include <mmsystem.h>

#include <cstring>

#include "audio/audio_timer.h"
#include "audio/wave_format.h"

namespace velmor {
namespace {

// The buffer description without the 3D algorithm field (the DirectX 3
// layout): every DirectSound accepts it. 20 bytes in the 32-bit program.
constexpr DWORD kBufferDescBytes = sizeof(DSBUFFERDESC1);
static_assert(sizeof(void*) != 4 || kBufferDescBytes == 20);

// The stream buffer: frequency, pan and volume control, position
// notification, the accurate play cursor, and audible while another window
// has the focus.
constexpr DWORD kStreamBufferFlags = DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPOSITIONNOTIFY |
                                     DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
static_assert(kStreamBufferFlags == 0x181E0);

BOOL CALLBACK addEnumeratedDevice(GUID* guid, const char* description, const char*, void* context) {
    auto& table = *static_cast<DeviceTable*>(context);
    return enumerateOutputDevice(table, guid ? reinterpret_cast<const uint8_t*>(guid) : nullptr, description) ? TRUE : FALSE;
}

bool isAllZero(const GUID* id) {
    static const uint8_t zero[16] = {};
    return std::memcmp(id, zero, 16) == 0;
}

}  // namespace

uint32_t DirectSoundDevice::playPosition() {
    DWORD play = 0;
    DWORD write = 0;
    streamBuffer->GetCurrentPosition(&play, &write);
    return play;
}

long DirectSoundDevice::lock(uint32_t offset, uint32_t bytes, LockedRegion& region) {
    void* first = nullptr;
    DWORD firstBytes = 0;
    void* second = nullptr;
    DWORD secondBytes = 0;
    const HRESULT hr = streamBuffer->Lock(offset, bytes, &first, &firstBytes, &second, &secondBytes, 0);
    region.first = first;
    region.firstBytes = firstBytes;
    region.second = second;
    region.secondBytes = secondBytes;
    return hr;
}

void DirectSoundDevice::unlock(const LockedRegion& region) {
    streamBuffer->Unlock(region.first, region.firstBytes, region.second, region.secondBytes);
}

void DirectSoundDevice::rewind() { streamBuffer->SetCurrentPosition(0); }

void DirectSoundDevice::playLooping() { streamBuffer->Play(0, 0, DSBPLAY_LOOPING); }

void DirectSoundDevice::stopStream() { streamBuffer->Stop(); }

void DirectSoundDevice::stopPrimary() {
    if (primaryBuffer) primaryBuffer->Stop();
}

uint32_t DirectSoundDevice::milliseconds() { return timeGetTime(); }

int64_t DirectSoundDevice::microseconds() { return systemMicroseconds(); }

int initAudioOutput(AudioOutput& out, DirectSoundDevice& ds, HWND window, const GUID* deviceId) {
    out.outputReady = 0;
    if (deviceId == nullptr) {
        out.devices.deviceCount = 0;
        DirectSoundEnumerateA(addEnumeratedDevice, &out.devices);
    } else if (isAllZero(deviceId)) {
        deviceId = nullptr;  // the default device
    }

    if (FAILED(DirectSoundCreate(deviceId, &ds.directSound, nullptr))) {
        ds.directSound = nullptr;
        return 0;
    }
    if (FAILED(ds.directSound->SetCooperativeLevel(window, DSSCL_PRIORITY))) return 1;

    WAVEFORMATEX format = outputFormat();

    DSBUFFERDESC primary{};
    primary.dwSize = kBufferDescBytes;
    primary.dwFlags = DSBCAPS_PRIMARYBUFFER;
    primary.dwBufferBytes = 0;
    primary.lpwfxFormat = nullptr;
    if (SUCCEEDED(ds.directSound->CreateSoundBuffer(&primary, &ds.primaryBuffer, nullptr))) {
        ds.primaryBuffer->SetFormat(&format);
    } else {
        ds.primaryBuffer = nullptr;
    }

    DSBUFFERDESC stream{};
    stream.dwSize = kBufferDescBytes;
    stream.dwFlags = kStreamBufferFlags;
    stream.dwBufferBytes = out.bufferBytes;
    stream.lpwfxFormat = &format;
    if (SUCCEEDED(ds.directSound->CreateSoundBuffer(&stream, &ds.streamBuffer, nullptr))) {
        out.outputReady = 1;
        out.device = &ds;
    } else {
        ds.streamBuffer = nullptr;
    }
    return 1;
}

void releaseAudioOutput(AudioOutput& out, DirectSoundDevice& ds) {
    if (ds.streamBuffer) {
        ds.streamBuffer->Release();
        ds.streamBuffer = nullptr;
    }
    if (ds.primaryBuffer) {
        ds.primaryBuffer->Release();
        ds.primaryBuffer = nullptr;
    }
    if (ds.directSound) {
        ds.directSound->Release();
        ds.directSound = nullptr;
    }
    out.outputReady = 0;
    if (out.device == &ds) out.device = nullptr;
}

int recreateAudioOutput(AudioOutput& out, DirectSoundDevice& ds, HWND window) {
    releaseAudioOutput(out, ds);
    static const uint8_t defaultDevice[16] = {};
    const uint32_t selected = out.devices.selectedDevice;
    const auto* id = reinterpret_cast<const GUID*>(selected < kMaxDevices ? out.devices.deviceIds[selected] : defaultDevice);
    if (initAudioOutput(out, ds, window, id) == 0) {
        MessageBoxA(window, "DirectSound Initialization failed!", "Error", MB_ICONHAND);
        return 0;
    }
    return 1;
}

}  // namespace velmor
