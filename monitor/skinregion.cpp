// The skin outline as a region: a 32-bit copy of the skin bitmap is scanned
// for one-row runs of opaque pixels, handed to the system 200 rectangles at a
// time and OR-ed into one region.
#include "skinregion.h"
#include "gdihold.h"
#include "outline.h"
#include "skinfile.h"
#include <stdint.h>
#include <stdlib.h>

// The batches of a scan become regions at once and are OR-ed into one.
struct RegionAccumulator {
    ScopedGdiObject region;
};

static bool MergeBatch(void* context, const unsigned char* block) {
    RegionAccumulator* acc = static_cast<RegionAccumulator*>(context);
    ScopedGdiObject batch(ExtCreateRegion(nullptr, OUTLINE_BATCH_BYTES, reinterpret_cast<const RGNDATA*>(block)));
    if (!batch.Get()) return false;
    if (!acc->region.Get()) {
        acc->region.Reset(batch.Release());
        return true;
    }
    return CombineRgn((HRGN)acc->region.Get(), (HRGN)acc->region.Get(), (HRGN)batch.Get(), RGN_OR) != ERROR;
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
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    info.bmiHeader.biSizeImage = (DWORD)width * 4 * (DWORD)height;
    void* pixels = nullptr;
    ScopedGdiObject copy(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
    if (!copy.Get()) return nullptr;
    {
        // A bitmap the source DC refused would leave its 1 x 1 default to copy.
        MemoryDC target(nullptr, copy.Get());
        if (!target.Ok() || !BlitBitmap(target.Get(), bitmap, width, height)) return nullptr;
    }
    GdiFlush();
    *bits = static_cast<const uint32_t*>(pixels);
    return (HBITMAP)copy.Release();
}

HRGN BuildSkinRegion(HBITMAP bitmap, COLORREF transparentColor) {
    int width, height;
    if (!ReadBitmapSize(bitmap, &width, &height)) return nullptr;
    if (transparentColor == SKIN_NO_TRANSPARENT) return CreateRectRgn(0, 0, width, height);
    uint32_t key = PixelKey(transparentColor);

    const uint32_t* pixels = nullptr;
    ScopedGdiObject copy(CopyTo32Bit(bitmap, width, height, &pixels));
    LockedGlobalBlock block(OUTLINE_BATCH_BYTES);
    if (!copy.Get() || !block.Get()) return nullptr;
    RegionAccumulator acc;
    if (!ScanOutline(pixels, width, height, key, block.Get(), MergeBatch, &acc)) return nullptr;
    return (HRGN)acc.region.Release();
}
