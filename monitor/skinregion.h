// The skin outline as a window region, built from a skin bitmap (Win32 side
// of the portable run scan in outline.h).
#pragma once
#include <windows.h>

// Width and height (rows counted whatever their order) of a bitmap.
bool ReadBitmapSize(HBITMAP bitmap, int* width, int* height);

// Every pixel not of the transparent colour; the whole bitmap rectangle for
// 0xFFFFFFFF. Null on failure. The caller owns the region.
HRGN BuildSkinRegion(HBITMAP bitmap, COLORREF transparentColor);
