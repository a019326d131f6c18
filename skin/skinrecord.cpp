// Checks of a skin record and of the BMP file image inside it, made before
// anything reads the image: every byte a later step touches (the BITMAPINFO
// handed to the system, the pixel range copied into the bitmap) must lie
// inside the record.
#include "skinfile.h"
#include "bytes.h"

#include <string.h>

static const int32_t kFileHeader = SKIN_BMP_FILE_HEADER;
static const uint32_t kInfoHeader = 40;  // BITMAPINFOHEADER
// Largest pixel memory a skin may ask for; a skin is a window's face.
static const int64_t kMaxPixelBytes = 256 * 1024 * 1024;

static bool IsKnownDepth(uint32_t bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of colour masks stored after a 40-byte info header.
static uint32_t MaskBytes(uint32_t infoSize, uint32_t compression) {
    if (infoSize != kInfoHeader) return 0;  // larger headers hold their masks inside
    if (compression == SKIN_BI_BITFIELDS) return 12;
    if (compression == SKIN_BI_ALPHABITFIELDS) return 16;
    return 0;
}

SkinProblem CheckSkinImage(const unsigned char* image, int32_t size, SkinImageInfo* info) {
    if (!image || size < 2 || image[0] != 'B' || image[1] != 'M') return SKIN_NOT_BMP;
    if (size < kFileHeader + 4) return SKIN_BMP_TRUNCATED;
    const unsigned char* header = image + kFileHeader;
    uint32_t infoSize = GetLe32(header);
    if (infoSize < kInfoHeader) return SKIN_BMP_BAD_HEADER;  // the 12-byte core header is not used
    if ((int64_t)kFileHeader + infoSize > size) return SKIN_BMP_TRUNCATED;

    int32_t width = (int32_t)GetLe32(header + 4);
    int32_t height = (int32_t)GetLe32(header + 8);
    uint16_t planes = GetLe16(header + 12);
    uint16_t bits = GetLe16(header + 14);
    uint32_t compression = GetLe32(header + 16);
    uint32_t colorsUsed = GetLe32(header + 32);
    if (planes != 1 || !IsKnownDepth(bits) || width <= 0 || height == 0 || height == INT32_MIN)
        return SKIN_BMP_BAD_HEADER;
    int64_t stride = (((int64_t)width * bits + 31) / 32) * 4;
    int64_t rows = height < 0 ? -(int64_t)height : height;
    if (rows > kMaxPixelBytes / stride) return SKIN_BMP_BAD_HEADER;

    int64_t tableEntries;
    if (bits <= 8) {
        uint32_t full = 1u << bits;
        if (colorsUsed > full) return SKIN_BMP_BAD_HEADER;
        tableEntries = colorsUsed ? colorsUsed : full;
    } else {
        tableEntries = colorsUsed;
    }
    int64_t bitmapInfo = (int64_t)infoSize + MaskBytes(infoSize, compression) + tableEntries * 4;
    if (kFileHeader + bitmapInfo > size) return SKIN_BMP_TRUNCATED;

    uint32_t offset = GetLe32(image + 10);
    if ((int64_t)offset < kFileHeader + (int64_t)infoSize || offset > (uint32_t)size) return SKIN_BMP_BAD_OFFSET;

    if (info) {
        info->width = width;
        info->height = height;
        info->bitCount = bits;
        info->compression = compression;
        info->infoSize = (uint32_t)bitmapInfo;
        info->pixelOffset = offset;
        info->pixelBytes = (uint32_t)size - offset;
    }
    return SKIN_OK;
}

SkinProblem CheckSkinRecord(const unsigned char* record, int32_t size, SkinImageInfo* info) {
    if (!record || size < (int32_t)sizeof(SkinHeader)) return SKIN_TOO_SHORT;
    if (memcmp(record, SKIN_MAGIC, 4) != 0) return SKIN_BAD_MAGIC;
    const SkinHeader* header = (const SkinHeader*)record;
    if (!memchr(header->title, 0, sizeof header->title)) return SKIN_TITLE_UNTERMINATED;
    return CheckSkinImage(record + sizeof(SkinHeader), size - (int32_t)sizeof(SkinHeader), info);
}

const char* DescribeSkinProblem(SkinProblem problem) {
    switch (problem) {
    case SKIN_OK:
        return "ok";
    case SKIN_TOO_SHORT:
        return "shorter than the 56-byte skin header";
    case SKIN_BAD_MAGIC:
        return "not skin data (bad magic)";
    case SKIN_TITLE_UNTERMINATED:
        return "title has no NUL within its 32 bytes";
    case SKIN_NOT_BMP:
        return "image is not a bitmap file (no BM)";
    case SKIN_BMP_TRUNCATED:
        return "bitmap headers or colour table run past the end";
    case SKIN_BMP_BAD_HEADER:
        return "bitmap info header unusable (size, planes, depth or dimensions)";
    case SKIN_BMP_BAD_OFFSET:
        return "pixel data offset inside the headers or beyond the image";
    }
    return "unknown problem";
}

bool IsSkinDataProblem(SkinProblem problem) {
    return problem == SKIN_TOO_SHORT || problem == SKIN_BAD_MAGIC || problem == SKIN_TITLE_UNTERMINATED;
}
