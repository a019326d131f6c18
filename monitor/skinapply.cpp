// Skin application: turns a skin record into the main window's bitmap,
// outline, title, size and text-pane placement and colours, and paints the
// bitmap. The outline's run scan itself is portable (outline.cpp).
#include "monitor.h"
#include "outline.h"
#include "codec.h"
#include "skinfile.h"
#include <stdlib.h>
#include <string.h>

HBITMAP skinBitmap;
COLORREF paneBackColor = 0x00FFFFFF;
// Taken during static initialisation, before WinMain: gdi32 is loaded by then,
// and the stock brush is never really deleted, so the first replacement's
// DeleteObject is harmless.
HBRUSH paneBrush = (HBRUSH)GetStockObject(WHITE_BRUSH);

static const char textNotUnpacked[] = "スキンデータの解凍に失敗しました";
static const char textNotSkin[] = "スキンデータではありません";

// The batches of a scan become regions at once and are OR-ed into one.
struct RegionAccumulator {
    HRGN region;
};

static bool MergeBatch(void* context, const unsigned char* block) {
    RegionAccumulator* acc = static_cast<RegionAccumulator*>(context);
    HRGN batch = ExtCreateRegion(nullptr, OUTLINE_BATCH_BYTES, reinterpret_cast<const RGNDATA*>(block));
    if (!batch) return false;
    if (!acc->region) {
        acc->region = batch;
        return true;
    }
    int combined = CombineRgn(acc->region, acc->region, batch, RGN_OR);
    DeleteObject(batch);
    return combined != ERROR;
}

static bool ReadBitmapSize(HBITMAP bitmap, int* width, int* height) {
    BITMAP info;
    if (!bitmap || GetObjectA(bitmap, sizeof info, &info) != (int)sizeof info) return false;
    *width = info.bmWidth;
    *height = abs(info.bmHeight);
    return true;
}

// A 32-bit bottom-up copy of the bitmap, so the scan is the same for every
// colour depth. Null when any step fails; `bits` then is untouched.
static HBITMAP CopyTo32Bit(HBITMAP bitmap, int width, int height, const uint32_t** bits) {
    if ((int64_t)width * height * 4 > 0x7FFFFFFF) return nullptr;
    HDC target = CreateCompatibleDC(nullptr);
    if (!target) return nullptr;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = (DWORD)width * 4 * (DWORD)height;
    void* pixels = nullptr;
    HBITMAP copy = CreateDIBSection(target, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!copy) {
        DeleteDC(target);
        return nullptr;
    }
    HGDIOBJ oldTarget = SelectObject(target, copy);
    HDC source = CreateCompatibleDC(target);
    bool copied = false;
    if (source) {
        HGDIOBJ oldSource = SelectObject(source, bitmap);
        copied = BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY) != 0;
        SelectObject(source, oldSource);
        DeleteDC(source);
    }
    SelectObject(target, oldTarget);
    DeleteDC(target);
    if (!copied) {
        DeleteObject(copy);
        return nullptr;
    }
    GdiFlush();
    *bits = static_cast<const uint32_t*>(pixels);
    return copy;
}

HRGN BuildSkinRegion(HBITMAP bitmap, COLORREF transparentColor) {
    int width, height;
    if (!ReadBitmapSize(bitmap, &width, &height)) return nullptr;
    if (transparentColor == SKIN_NO_TRANSPARENT) return CreateRectRgn(0, 0, width, height);
    uint32_t key = PixelKey(transparentColor);

    const uint32_t* pixels = nullptr;
    HBITMAP copy = CopyTo32Bit(bitmap, width, height, &pixels);
    if (!copy) return nullptr;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, OUTLINE_BATCH_BYTES);
    unsigned char* block = memory ? static_cast<unsigned char*>(GlobalLock(memory)) : nullptr;
    if (!block) {
        if (memory) GlobalFree(memory);
        DeleteObject(copy);
        return nullptr;
    }
    RegionAccumulator acc = {nullptr};
    bool scanned = ScanOutline(pixels, width, height, key, block, MergeBatch, &acc);
    GlobalUnlock(memory);
    GlobalFree(memory);
    DeleteObject(copy);
    if (!scanned) {
        if (acc.region) DeleteObject(acc.region);
        return nullptr;
    }
    return acc.region;
}

static int ClampToInt(int64_t value) {
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
    if (value < -0x7FFFFFFF) return -0x7FFFFFFF;
    return (int)value;
}

// The colour of the skin bitmap at one point; CLR_INVALID outside it.
static COLORREF SamplePixel(HBITMAP bitmap, int x, int y) {
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) return CLR_INVALID;
    HGDIOBJ old = SelectObject(memory, bitmap);
    COLORREF colour = GetPixel(memory, x, y);
    SelectObject(memory, old);
    DeleteDC(memory);
    return colour;
}

static void StoreSkinPath(const char* name, bool isDefault) {
    if (isDefault) {
        memset(settings.skinPath, 0, sizeof settings.skinPath);
        return;
    }
    if (name == settings.skinPath) return;   // start-up passes the field itself
    // The field must keep a NUL inside its width to read back as a path.
    size_t length = strnlen(name, sizeof settings.skinPath - 1);
    memset(settings.skinPath, 0, sizeof settings.skinPath);
    memcpy(settings.skinPath, name, length);
}

// Moves the text pane onto the text rectangle, in client coordinates.
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

    SkinProblem problem = CheckSkinRecord(unpackedData, unpackedSize, nullptr);
    if (problem != SKIN_OK && IsSkinDataProblem(problem)) {
        ReleaseUnpacked();
        MessageBoxA(window, textNotSkin, isDefault ? nullptr : name, MB_OK);
        return false;
    }
    SkinHeader header;
    memcpy(&header, unpackedData, sizeof header);

    HBITMAP bitmap = CreateSkinBitmap(window, unpackedData + sizeof header, unpackedSize - (int32_t)sizeof header);
    if (!bitmap) {
        ReleaseUnpacked();
        return false;
    }
    HRGN region = BuildSkinRegion(bitmap, header.transparentColor);
    if (!region) {
        DeleteObject(bitmap);
        ReleaseUnpacked();
        return false;
    }
    SetWindowTextA(window, header.title);   // NUL inside the field: checked above
    ReleaseUnpacked();

    if (skinBitmap) DeleteObject(skinBitmap);
    skinBitmap = bitmap;
    StoreSkinPath(name, isDefault);

    RECT rect;
    GetWindowRect(window, &rect);
    int width = 0, height = 0;
    ReadBitmapSize(skinBitmap, &width, &height);
    MoveWindow(window, rect.left, rect.top, width, height, TRUE);
    SetWindowRgn(window, region, TRUE);   // the window owns the region from here on

    DeleteObject(paneBrush);
    paneBackColor = SamplePixel(skinBitmap, ClampToInt(((int64_t)header.textLeft + header.textRight) / 2),
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
    HDC memory = CreateCompatibleDC(target);
    if (memory) {
        HGDIOBJ old = SelectObject(memory, skinBitmap);
        BitBlt(target, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    EndPaint(window, &paint);
}
