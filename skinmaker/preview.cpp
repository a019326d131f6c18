// The preview window: the current bitmap at 1:1. A left drag marks the text
// rectangle (written into the skin maker dialog's coordinate fields), a right
// click takes the transparent colour from the pixel under the pointer.
#include <windows.h>
#include <windowsx.h>
#include "gdihold.h"
#include "makercore.h"
#include "resource.h"
#include "skinmaker.h"

static bool dragging;
static POINT dragAnchor;
static POINT dragPrevious;

static POINT CursorInClient(HWND window) {
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(window, &point);
    return point;
}

// Fits the client area to the bitmap, keeping the top-left corner, and shows
// the window. The WM_SIZE this causes asks for the same size and ends there.
static void FitToBitmap(HWND window) {
    if (!currentBitmap) return;
    BITMAP info;
    if (!GetObjectA(currentBitmap, sizeof info, &info)) return;
    RECT rect = {0, 0, info.bmWidth, info.bmHeight};
    AdjustWindowRect(&rect, (DWORD)GetWindowLongPtrA(window, GWL_STYLE), FALSE);
    SetWindowPos(window, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_SHOWWINDOW);
}

static void PaintBitmap(HWND window) {
    if (!currentBitmap) return;
    BITMAP info;
    GetObjectA(currentBitmap, sizeof info, &info);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    BlitBitmap(dc, currentBitmap, info.bmWidth, info.bmHeight);
    EndPaint(window, &paint);
}

// Inverts the outline of the rectangle from the anchor to the previous point.
static void InvertBand(HWND window) {
    MakerRect rect = RectFromCorners(dragAnchor.x, dragAnchor.y, dragPrevious.x, dragPrevious.y);
    HDC dc = GetDC(window);
    SetROP2(dc, R2_NOT);
    ScopedGdiObject pen(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
    HGDIOBJ oldPen = SelectObject(dc, pen.Get());
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    ReleaseDC(window, dc);
}

static void BeginDrag(HWND window) {
    if (dragging) return;
    dragging = true;
    dragAnchor = CursorInClient(window);
    dragPrevious = dragAnchor;
    SetCapture(window);
}

// Erases the band of the previous move, then draws it to the pointer.
static void TrackDrag(HWND window) {
    if (!dragging) return;
    POINT point = CursorInClient(window);
    for (int pass = 0; pass < 2; ++pass) {
        InvertBand(window);
        dragPrevious = point;
    }
}

static void SetField(int id, int32_t value) {
    SetDlgItemInt(dialogWindow, id, FieldDisplayValue(value), FALSE);
}

// Runs on every left release: writes the rectangle from the anchor to the
// pointer into the dialog and repaints the bitmap over the band. The flag is
// cleared first, so the capture change that the release causes is not taken
// for a lost drag.
static void EndDrag(HWND window) {
    dragging = false;
    ReleaseCapture();
    dragPrevious = CursorInClient(window);
    MakerRect rect = RectFromCorners(dragAnchor.x, dragAnchor.y, dragPrevious.x, dragPrevious.y);
    SetField(IDC_TEXT_LEFT, rect.left);
    SetField(IDC_TEXT_TOP, rect.top);
    SetField(IDC_TEXT_RIGHT, rect.right);
    SetField(IDC_TEXT_BOTTOM, rect.bottom);
    InvalidateRect(window, nullptr, TRUE);
}

// Capture taken away mid-drag (another window activated): the release will
// not come here, so the drag ends now, its band inverted away, and the next
// press starts a new one instead of being ignored.
static void OnCaptureChanged(HWND window, HWND newCapture) {
    if (!dragging || newCapture == window) return;
    InvertBand(window);
    dragging = false;
}

// A point outside the bitmap reads as CLR_INVALID, which is also "no colour".
static void PickColour(int x, int y) {
    if (!currentBitmap) return;
    transparentColor = SampleBitmapPixel(currentBitmap, x, y);
    if (swatchBrush) DeleteObject(swatchBrush);
    swatchBrush = CreateSolidBrush(transparentColor);
    if (dialogWindow) InvalidateRect(GetDlgItem(dialogWindow, IDC_SWATCH), nullptr, TRUE);
}

INT_PTR CALLBACK PreviewProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        dragging = false;
        break;
    case WM_SIZE:
        FitToBitmap(window);
        break;
    case WM_PAINT:
        PaintBitmap(window);
        break;
    case WM_LBUTTONDOWN:
        BeginDrag(window);
        break;
    case WM_MOUSEMOVE:
        TrackDrag(window);
        break;
    case WM_LBUTTONUP:
        EndDrag(window);
        break;
    case WM_RBUTTONDOWN:
        PickColour(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        break;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(window, (HWND)lParam);
        break;
    }
    return FALSE;
}
