#pragma once
// The splash window's bitmap: loading it from the resources, its palette
// and drawing it. Windows only.

#include <windows.h>

namespace velmor {

// The bitmap resource's header (followed by its colour table and pixels), or
// null when the program holds no bitmap of that name.
const BITMAPINFOHEADER* loadBitmapResource(HINSTANCE instance, const char* name);

// A logical palette from a 256-entry colour table; null (after a message)
// when it cannot be created.
HPALETTE createDibPalette(HDC dc, const BITMAPINFOHEADER* bitmap);

// Draws the whole bitmap with its top left corner at (x, y).
void drawDib(HDC dc, const BITMAPINFOHEADER* bitmap, HPALETTE palette, int x, int y);

}  // namespace velmor
