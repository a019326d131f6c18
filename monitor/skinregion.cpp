// The skin outline as a region: a 32-bit copy of the skin bitmap is scanned
// for one-row runs of opaque pixels, handed to the system 200 rectangles at a
// time and OR-ed into one region.
#include "skinregion.h"
#include "outline.h"
#include "skinfile.h"
#include <stdint.h>
#include <stdlib.h>

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

bool ReadBitmapSize(HBITMAP bitmap, int* width, int* height) {
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
        // A bitmap the context refused would leave its 1 x 1 default to copy.
        HGDIOBJ oldSource = SelectObject(source, bitmap);
        copied = oldSource && BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY);
        if (oldSource) SelectObject(source, oldSource);
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
