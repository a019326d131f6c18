// The skin maker's portable arithmetic (see makercore.h).
#include "makercore.h"
#include "sjis.h"
#include <stdlib.h>
#include <string.h>

uint32_t SwatchContrast(uint32_t color) {
    uint32_t red = color & 0xFF;
    uint32_t green = (color >> 8) & 0xFF;
    return 413 * red + 587 * green;
}

uint32_t SwatchTextColor(uint32_t color) {
    return SwatchContrast(color) >= 128000 ? 0x000000u : 0xFFFFFFu;
}

bool SwatchIsColoured(uint32_t color) {
    return color != SKIN_NO_TRANSPARENT;
}

MakerRect RectFromCorners(int32_t ax, int32_t ay, int32_t bx, int32_t by) {
    MakerRect rect;
    rect.left = ax < bx ? ax : bx;
    rect.right = ax < bx ? bx : ax;
    rect.top = ay < by ? ay : by;
    rect.bottom = ay < by ? by : ay;
    return rect;
}

uint32_t FieldDisplayValue(int32_t value) {
    return (uint32_t)value;
}

static bool IsMskExtension(const char* extension) {
    static const char msk[] = ".msk";
    for (int i = 0; i < 4; ++i) {
        char c = extension[i];
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
        if (c != msk[i]) return false;
    }
    return extension[4] == '\0';
}

bool ProposeSkinName(const char* bitmapPath, char* out, size_t outSize) {
    if (outSize > 0) out[0] = '\0';
    size_t length = strlen(bitmapPath);
    if (length == 0) return false;
    // Walk whole characters so that a second byte equal to '\\' or '.' is
    // never taken for a separator or an extension dot. A separator forgets
    // any dot before it: only the file name's own extension is replaced.
    size_t dot = length;
    for (size_t i = 0; i < length;) {
        unsigned char c = (unsigned char)bitmapPath[i];
        if (IsShiftJisLeadByte(c) && i + 1 < length) {
            i += 2;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':') {
            dot = length;
        } else if (c == '.') {
            dot = i;
        }
        ++i;
    }
    if (dot < length && IsMskExtension(bitmapPath + dot)) dot = length;  // "x.msk" becomes "x.msk.msk"
    size_t needed = dot + 4 + 1;
    if (needed > outSize) return false;
    memcpy(out, bitmapPath, dot);
    memcpy(out + dot, ".msk", 5);
    return true;
}

unsigned char* NewSkinRecord(const SkinHeader* header, int32_t length) {
    if (length < (int32_t)sizeof(SkinHeader)) return nullptr;
    unsigned char* record = (unsigned char*)calloc((size_t)length, 1);
    if (!record) return nullptr;
    memcpy(record, header, sizeof(SkinHeader));
    return record;
}
