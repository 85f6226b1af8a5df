#include "audio/wasapi_output.h"

#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>

#include "audio/audio_timer.h"
#include "audio/wave_format.h"

namespace velmor {

namespace {

// The device enumerator's class, {BCDE0395-E52F-467C-8E3D-C4579291692E}.
const CLSID kEnumeratorClass = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr REFERENCE_TIME kHundredNsPerSecond = 10000000;
constexpr uint32_t kLeastQueued = 441;  // 10 ms

template <class T>
void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

std::string failure(const char* what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s failed (error 0x%08lX)", what, static_cast<unsigned long>(hr));
    return text;
}

// Shared mode with the smallest period the device grants: through the
// interface that asks for one where the system has it, else with a buffer
// of the device's minimum period, converted by the system where needed.
HRESULT initializeShared(IAudioClient* client, const WAVEFORMATEX& format, REFERENCE_TIME& period) {
    IAudioClient3* client3 = nullptr;
    if (SUCCEEDED(client->QueryInterface(__uuidof(IAudioClient3), reinterpret_cast<void**>(&client3)))) {
        UINT32 defaultFrames = 0, fundamental = 0, smallest = 0, largest = 0;
        HRESULT hr = client3->GetSharedModeEnginePeriod(&format, &defaultFrames, &fundamental, &smallest, &largest);
        if (SUCCEEDED(hr))
            hr = client3->InitializeSharedAudioStream(AUDCLNT_STREAMFLAGS_EVENTCALLBACK, smallest, &format, nullptr);
        client3->Release();
        if (SUCCEEDED(hr)) {
            period = static_cast<REFERENCE_TIME>(smallest) * kHundredNsPerSecond / format.nSamplesPerSec;
            return hr;
        }
    }
    REFERENCE_TIME defaultPeriod = 0, smallest = 0;
    if (FAILED(client->GetDevicePeriod(&defaultPeriod, &smallest)) || smallest <= 0) smallest = 30000;
    period = smallest;
    const DWORD convert = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
    HRESULT hr =
        client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK | convert, smallest, 0, &format, nullptr);
    if (FAILED(hr))
        hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, smallest, 0, &format, nullptr);
    return hr;
}

}  // namespace

WasapiDevice::~WasapiDevice() { close(); }

bool WasapiDevice::open(AudioOutput& out, Engine& engine, bool exclusive, std::string& why) {
    close();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);  // already done (either way) is as good
    IMMDeviceEnumerator* enumerator = nullptr;
    IMMDevice* device = nullptr;
    HRESULT hr = CoCreateInstance(kEnumeratorClass, nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(&enumerator));
    if (SUCCEEDED(hr)) hr = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &device);
    if (SUCCEEDED(hr)) hr = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client_));
    release(device);
    release(enumerator);
    if (FAILED(hr)) {
        why = failure("opening the default output device", hr);
        return false;
    }
    const WAVEFORMATEX format = outputFormat();
    REFERENCE_TIME period = 0;
    exclusive_ = exclusive;
    if (exclusive) {
        REFERENCE_TIME defaultPeriod = 0;
        hr = client_->GetDevicePeriod(&defaultPeriod, &period);
        if (SUCCEEDED(hr)) hr = client_->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &format, nullptr);
        if (SUCCEEDED(hr))
            hr = client_->Initialize(AUDCLNT_SHAREMODE_EXCLUSIVE, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, period, period, &format,
                                     nullptr);
        if (FAILED(hr)) {
            why = failure("exclusive mode at 44100 Hz, 16-bit stereo", hr);
            close();
            return false;
        }
    } else {
        hr = initializeShared(client_, format, period);
        if (FAILED(hr)) {
            why = failure("shared mode at 44100 Hz, 16-bit stereo", hr);
            close();
            return false;
        }
    }
    UINT32 frames = 0;
    event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (!event_ || FAILED(hr = client_->SetEventHandle(static_cast<HANDLE>(event_))) ||
        FAILED(hr = client_->GetBufferSize(&frames)) ||
        FAILED(hr = client_->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render_))) ||
        FAILED(hr = client_->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&clock_))) ||
        FAILED(hr = clock_->GetFrequency(&clockFrequency_)) || clockFrequency_ == 0) {
        why = failure("setting up the stream", hr);
        close();
        return false;
    }
    bufferFrames_ = frames;
    periodFrames_ = static_cast<uint32_t>(period * format.nSamplesPerSec / kHundredNsPerSecond);
    // Shared mode keeps as little queued as the events allow: two periods,
    // and no less than 10 ms, which a late wake-up of the thread leaves room
    // for (a buffer granted longer than that is not filled); exclusive mode
    // hands over whole buffers.
    queuedFrames_ =
        exclusive || periodFrames_ == 0 ? bufferFrames_ : std::min(bufferFrames_, std::max(2 * periodFrames_, kLeastQueued));
    out_ = &out;
    engine_ = &engine;
    return true;
}

void WasapiDevice::close() {
    stopStream();
    release(clock_);
    release(render_);
    release(client_);
    if (event_) CloseHandle(static_cast<HANDLE>(event_));
    event_ = nullptr;
    bufferFrames_ = periodFrames_ = queuedFrames_ = 0;
}

uint32_t WasapiDevice::playPosition() {
    UINT64 position = 0;
    if (!clock_ || FAILED(clock_->GetPosition(&position, nullptr))) return 0;
    const uint64_t frames = position * 44100 / clockFrequency_;
    return static_cast<uint32_t>(frames * 4 % kCycleBytes);
}

long WasapiDevice::lock(uint32_t, uint32_t bytes, LockedRegion& region) {
    region = LockedRegion{};
    if (!render_) return E_FAIL;
    // Exclusive mode takes a whole buffer at each event; shared mode what
    // its buffer has room for.
    UINT32 padding = 0;
    if (!exclusive_ && FAILED(client_->GetCurrentPadding(&padding))) padding = bufferFrames_;
    const uint32_t frames = std::min(bytes / 4, queuedFrames_ - std::min(padding, queuedFrames_));
    BYTE* data = nullptr;
    const HRESULT hr = render_->GetBuffer(frames, &data);
    if (FAILED(hr)) return hr;
    region.first = data;
    region.firstBytes = frames * 4;
    return 0;
}

void WasapiDevice::unlock(const LockedRegion& region) {
    if (render_) render_->ReleaseBuffer(region.firstBytes / 4, 0);
}

void WasapiDevice::rewind() {
    if (client_ && !running_.load()) client_->Reset();
}

void WasapiDevice::playLooping() {
    if (!client_ || running_.load()) return;
    running_.store(true);
    client_->Start();
    thread_ = std::thread([this] { feed(); });
}

void WasapiDevice::stopStream() {
    if (!running_.exchange(false)) return;
    if (event_) SetEvent(static_cast<HANDLE>(event_));
    if (thread_.joinable()) thread_.join();
    client_->Stop();
}

uint32_t WasapiDevice::milliseconds() { return timeGetTime(); }

int64_t WasapiDevice::microseconds() { return systemMicroseconds(); }

void WasapiDevice::feed() {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    while (running_.load()) {
        WaitForSingleObject(static_cast<HANDLE>(event_), 200);
        if (!running_.load()) break;
        pullFrames(*out_, *engine_, queuedFrames_ * 4);
    }
    CoUninitialize();
}

}  // namespace velmor
