#include "app/application.h"

#include <commctrl.h>

#include "app/splash.h"
#include "engine/tables.h"
#include "model/units.h"

namespace velmor {

namespace {

constexpr int kSplashWidth = 440;
constexpr int kSplashHeight = 226;
const char kSplashClass[] = "Velmor-Startup";

bool registerSplashClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS | CS_BYTEALIGNCLIENT;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kSplashClass;
    return RegisterClassA(&wc) != 0;
}

}  // namespace

int runApplication(HINSTANCE instance, HINSTANCE previous, int showCommand, const char* /*commandLine*/) {
    InitCommonControls();
    auto app = std::make_unique<App>();
    app->audio.bufferBytes = kDefaultBufferBytes;
    app->appInstance = instance;
    if (!previous && !registerSplashClass(instance)) return 0;

    // The splash, centred on the screen.
    HDC screen = GetDC(nullptr);
    const int x = (GetDeviceCaps(screen, HORZRES) - kSplashWidth) / 2;
    const int y = (GetDeviceCaps(screen, VERTRES) - kSplashHeight) / 2;
    app->splashBitmap = loadBitmapResource(instance, "STARTUP");
    app->splashPalette = createDibPalette(screen, app->splashBitmap);
    ReleaseDC(nullptr, screen);
    app->splashWindow = CreateWindowExA(0, kSplashClass, nullptr, WS_POPUP, x, y, kSplashWidth, kSplashHeight, nullptr, nullptr,
                                        instance, nullptr);
    ShowWindow(app->splashWindow, showCommand);
    UpdateWindow(app->splashWindow);  // its first paint now, so the drawing below stays on screen
    HDC dc = GetDC(app->splashWindow);
    drawDib(dc, app->splashBitmap, app->splashPalette, 0, 0);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(200, 200, 200));
    TextOutA(dc, 300, 200, "Initializing...", 15);

    // The long step, behind the splash.
    app->synth = makeSynth();
    buildDistortionCurves(app->synth->tables);

    ReleaseDC(app->splashWindow, dc);
    DestroyWindow(app->splashWindow);
    app->splashWindow = nullptr;

    const char* const iconNames[kIconCount] = {"SAW", "SAW2", "SQUARE", "SINE", "PLAY", "STOP"};
    for (int i = 0; i < kIconCount; ++i) {
        app->icons[i] = LoadIconA(instance, iconNames[i]);
        if (i == kIconSaw && !app->icons[i]) MessageBoxA(nullptr, "Resource not found.", "Error", MB_ICONHAND);
    }

    DialogBoxParamA(instance, "MAIN", nullptr, mainDialogProc, reinterpret_cast<LPARAM>(app.get()));
    shutdownApplication(*app);
    return 0;
}

void shutdownApplication(App& app) {
    shutDownMidi(app);
    shutdownAudio(app.audio, app.sound, &app.tick);
    app.wasapi.close();
    if (app.synth) releaseBuffers(*app.synth);
    if (app.envelopeBrush) DeleteObject(app.envelopeBrush);
    app.envelopeBrush = nullptr;
}

}  // namespace velmor

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCommand) {
    velmor::runApplication(instance, previous, showCommand, commandLine);
    return 0;
}
