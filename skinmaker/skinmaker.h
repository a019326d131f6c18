// State the skin maker dialog owns and the preview window reads and writes.
// One copy for the process, used only on the GUI thread.
#pragma once
#include <windows.h>
#include <stdint.h>

extern HWND dialogWindow;          // the skin maker dialog; null once closed
extern HBITMAP currentBitmap;      // the bitmap shown and sampled by the preview
extern uint32_t transparentColor;  // COLORREF, or 0xFFFFFFFF for none
extern HBRUSH swatchBrush;         // background of the colour swatch

// The preview window's dialog procedure (template 102).
INT_PTR CALLBACK PreviewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
