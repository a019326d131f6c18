// Turns a skin record's BMP image into a DIB section that keeps the image's
// own depth, colour table and row order.
#include "platform.h"
#include "skinfile.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

// Room for a full colour table (or masks) beyond whatever the header names,
// so the system never reads past the copy it is given.
static const size_t kInfoSlack = 256 * sizeof(RGBQUAD) + 16;

HBITMAP CreateSkinBitmap(HWND window, const unsigned char* image, int32_t imageSize) {
    SkinImageInfo info;
    if (CheckSkinImage(image, imageSize, &info) != SKIN_OK) {
        MessageBoxA(window, "ビットマップファイルではありません", "Error", MB_OK);
        return nullptr;
    }

    // An aligned, padded copy of the BITMAPINFO exactly as stored.
    size_t infoBytes = info.infoSize;
    unsigned char* bitmapInfo = (unsigned char*)HeapAllocZero(infoBytes + kInfoSlack);
    if (!bitmapInfo) return nullptr;
    memcpy(bitmapInfo, image + SKIN_BMP_FILE_HEADER, infoBytes);

    HDC dc = GetDC(window);
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, (const BITMAPINFO*)bitmapInfo, DIB_RGB_COLORS, &pixels, nullptr, 0);
    ReleaseDC(window, dc);
    HeapRelease(bitmapInfo);
    if (!bitmap) return nullptr;
    if (!pixels) {
        DeleteObject(bitmap);
        return nullptr;
    }

    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) != (int)sizeof section) {
        DeleteObject(bitmap);
        return nullptr;
    }
    size_t capacity = (size_t)section.dsBm.bmWidthBytes * (size_t)abs(section.dsBm.bmHeight);
    if (section.dsBmih.biSizeImage != 0 && section.dsBmih.biSizeImage < capacity) capacity = section.dsBmih.biSizeImage;
    size_t available = info.pixelBytes;
    memcpy(pixels, image + info.pixelOffset, available < capacity ? available : capacity);
    return bitmap;
}
