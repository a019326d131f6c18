// Skin application: turns a skin record into the main window's bitmap,
// outline, title, size and text-pane placement and colours, and paints the
// bitmap. The outline itself is built in skinregion.cpp.
#include "monitor.h"
#include "skinregion.h"
#include "gdihold.h"
#include "codec.h"
#include "skinfile.h"
#include <string.h>

HBITMAP skinBitmap;
COLORREF paneBackColor = 0x00FFFFFF;
// Taken during static initialisation, before WinMain: gdi32 is loaded by then,
// and the stock brush is never really deleted, so the first replacement's
// DeleteObject is harmless.
HBRUSH paneBrush = (HBRUSH)GetStockObject(WHITE_BRUSH);

static const char textNotUnpacked[] = "スキンデータの解凍に失敗しました";
static const char textNotSkin[] = "スキンデータではありません";

static int ClampToInt(int64_t value) {
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
    if (value < -0x7FFFFFFF) return -0x7FFFFFFF;
    return (int)value;
}

static void StoreSkinPath(const char* name, bool isDefault) {
    if (isDefault) {
        memset(settings.skinPath, 0, sizeof settings.skinPath);
        return;
    }
    if (name == settings.skinPath) return;  // start-up passes the field itself
    // The field must keep a NUL inside its width to read back as a path.
    size_t length = strnlen(name, sizeof settings.skinPath - 1);
    memset(settings.skinPath, 0, sizeof settings.skinPath);
    memcpy(settings.skinPath, name, length);
}

// Moves the text pane onto the text rectangle, in client coordinates. The
// rectangle comes from the file: sums are taken in 64 bits and an inverted
// rectangle gives an empty pane rather than a negative size.
static void PlacePane(HWND window, const SkinHeader& header) {
    RECT client;
    GetClientRect(window, &client);
    int64_t width = (int64_t)header.textRight - header.textLeft;
    int64_t height = (int64_t)header.textBottom - header.textTop;
    MoveWindow(GetDlgItem(window, IDC_PANE), ClampToInt((int64_t)client.left + header.textLeft),
               ClampToInt((int64_t)client.top + header.textTop), ClampToInt(width < 0 ? 0 : width),
               ClampToInt(height < 0 ? 0 : height), TRUE);
}

bool ApplySkin(HWND window, const char* name) {
    ReleaseUnpacked();
    bool isDefault = !name || !name[0];
    if (isDefault) {
        // Only running out of memory gets here; there is nothing further to fall back to.
        if (!LoadDefaultSkin()) {
            ReleaseUnpacked();
            return false;
        }
    } else if (!LoadSkinFile(name)) {
        MessageBoxA(window, textNotUnpacked, name, MB_OK);
        return false;
    }

    // Also refuses a record too short for its header or with no NUL in its
    // title; an unusable image is left to CreateSkinBitmap, which says so.
    if (IsSkinDataProblem(CheckSkinRecord(unpackedData, unpackedSize, nullptr))) {
        ReleaseUnpacked();
        MessageBoxA(window, textNotSkin, isDefault ? nullptr : name, MB_OK);
        return false;
    }
    SkinHeader header;
    memcpy(&header, unpackedData, sizeof header);

    ScopedGdiObject bitmap(
        CreateSkinBitmap(window, unpackedData + sizeof header, unpackedSize - (int32_t)sizeof header));
    ScopedGdiObject region(bitmap.Get() ? BuildSkinRegion((HBITMAP)bitmap.Get(), header.transparentColor) : nullptr);
    if (!region.Get()) {
        ReleaseUnpacked();
        return false;
    }
    SetWindowTextA(window, header.title);  // NUL inside the field: checked above
    ReleaseUnpacked();

    if (skinBitmap) DeleteObject(skinBitmap);
    skinBitmap = (HBITMAP)bitmap.Release();
    StoreSkinPath(name, isDefault);

    RECT rect;
    GetWindowRect(window, &rect);
    int width = 0, height = 0;
    ReadBitmapSize(skinBitmap, &width, &height);
    MoveWindow(window, rect.left, rect.top, width, height, TRUE);
    // The window owns the region from here on; one it refused is still ours.
    if (SetWindowRgn(window, (HRGN)region.Get(), TRUE)) region.Release();

    DeleteObject(paneBrush);
    paneBackColor = SampleBitmapPixel(skinBitmap, ClampToInt(((int64_t)header.textLeft + header.textRight) / 2),
                                      ClampToInt(((int64_t)header.textTop + header.textBottom) / 2));
    paneBrush = CreateSolidBrush(paneBackColor);
    PlacePane(window, header);
    RefreshPlacement(window);
    return true;
}

void PaintSkin(HWND window) {
    if (!skinBitmap) return;
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    int width = 0, height = 0;
    ReadBitmapSize(skinBitmap, &width, &height);
    BlitBitmap(target, skinBitmap, width, height);
    EndPaint(window, &paint);
}

HBRUSH SetPaneColours(HDC dc) {
    SetTextColor(dc, settings.textColor);
    SetBkColor(dc, paneBackColor);
    return paneBrush;
}
