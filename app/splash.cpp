#include "app/splash.h"

namespace velmor {

const BITMAPINFOHEADER* loadBitmapResource(HINSTANCE instance, const char* name) {
    HRSRC found = FindResourceA(instance, name, MAKEINTRESOURCEA(2) /* RT_BITMAP */);
    if (!found) return nullptr;
    HGLOBAL loaded = LoadResource(instance, found);
    if (!loaded) return nullptr;
    return static_cast<const BITMAPINFOHEADER*>(LockResource(loaded));
}

HPALETTE createDibPalette(HDC dc, const BITMAPINFOHEADER* bitmap) {
    if (!bitmap) return nullptr;
    struct {
        WORD version;
        WORD entries;
        PALETTEENTRY entry[256];
    } record;
    record.version = 0x300;
    record.entries = 256;
    // The twenty static colours of the system palette at both ends.
    GetSystemPaletteEntries(dc, 0, 10, record.entry);
    GetSystemPaletteEntries(dc, 246, 10, record.entry + 246);
    for (int i = 0; i < 10; ++i) {
        record.entry[i].peFlags = 0;
        record.entry[246 + i].peFlags = 0;
    }
    const RGBQUAD* colours = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(bitmap) + bitmap->biSize);
    const bool paletteDevice = (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE) != 0;
    const int first = paletteDevice ? 10 : 0;
    const int last = paletteDevice ? 245 : 255;
    for (int i = first; i <= last; ++i) {
        record.entry[i].peRed = colours[i].rgbRed;
        record.entry[i].peGreen = colours[i].rgbGreen;
        record.entry[i].peBlue = colours[i].rgbBlue;
        record.entry[i].peFlags = PC_NOCOLLAPSE;
    }
    HPALETTE palette = CreatePalette(reinterpret_cast<const LOGPALETTE*>(&record));
    if (!palette) MessageBoxA(nullptr, "Palette kann nicht erstellt werden.", "Fehler", MB_OK);
    return palette;
}

void drawDib(HDC dc, const BITMAPINFOHEADER* bitmap, HPALETTE palette, int x, int y) {
    if (!bitmap) return;
    HPALETTE previous = nullptr;
    if (palette) {
        previous = SelectPalette(dc, palette, FALSE);
        RealizePalette(dc);
    }
    const BYTE* base = reinterpret_cast<const BYTE*>(bitmap);
    const DWORD colourBytes = bitmap->biCompression == BI_BITFIELDS ? 12 : 1024;
    const BYTE* pixels = base + bitmap->biSize + colourBytes;
    const int drawn = SetDIBitsToDevice(dc, x, y, bitmap->biWidth, bitmap->biHeight, 0, 0, 0, bitmap->biHeight, pixels,
                                        reinterpret_cast<const BITMAPINFO*>(bitmap), DIB_RGB_COLORS);
    if (drawn == 0) {
        char* text = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       GetLastError(), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&text), 0, nullptr);
        MessageBoxA(nullptr, text ? text : "", "GetLastError", MB_ICONHAND);
        if (text) LocalFree(text);
    }
    if (palette) SelectPalette(dc, previous, FALSE);
}

}  // namespace velmor
