// The skin record (a 56-byte header, then a complete BMP file image), its
// checks, and the loaders that bring a skin file or the built-in default skin
// into the codec's current result.
#pragma once
#include <stdint.h>

#pragma pack(push, 1)
struct SkinHeader {
    char magic[4];      // "RZSK"
    char title[32];     // Shift-JIS, NUL-terminated inside the field
    int32_t textLeft;   // text rectangle in bitmap pixels, counted from
    int32_t textTop;    // the top row as displayed; right and bottom
    int32_t textRight;  // are exclusive
    int32_t textBottom;
    uint32_t transparentColor;  // COLORREF 0x00BBGGRR; 0xFFFFFFFF = none
};
#pragma pack(pop)
static_assert(sizeof(SkinHeader) == 56, "the skin header is 56 bytes on disk");

#define SKIN_MAGIC          "RZSK"
#define SKIN_NO_TRANSPARENT 0xFFFFFFFFu

// The parts of the BMP format the checks read, named as in wingdi.h but
// usable without it.
#define SKIN_BMP_FILE_HEADER 14  // BITMAPFILEHEADER
enum SkinBmpCompression {
    SKIN_BI_RGB = 0,
    SKIN_BI_RLE8 = 1,
    SKIN_BI_RLE4 = 2,
    SKIN_BI_BITFIELDS = 3,
    SKIN_BI_ALPHABITFIELDS = 6
};

// What is wrong with a record, if anything. The first group is reported as
// "not skin data", the second as "not a bitmap file".
enum SkinProblem {
    SKIN_OK = 0,
    SKIN_TOO_SHORT,           // shorter than the 56-byte header
    SKIN_BAD_MAGIC,           // magic is not "RZSK"
    SKIN_TITLE_UNTERMINATED,  // no NUL inside the 32 title bytes
    SKIN_NOT_BMP,             // image does not start with "BM"
    SKIN_BMP_TRUNCATED,       // image too short for its file header, info header or colour table
    SKIN_BMP_BAD_HEADER,      // info header the monitor cannot use (size, planes, dimensions)
    SKIN_BMP_BAD_OFFSET,      // pixel data offset inside the headers or beyond the image
};

// What a usable record's image holds, read without leaving the record.
struct SkinImageInfo {
    int32_t width;
    int32_t height;  // negative for a top-down image
    int32_t bitCount;
    uint32_t compression;
    uint32_t infoSize;     // bytes of BITMAPINFO: info header, masks, colour table
    uint32_t pixelOffset;  // from the start of the image
    uint32_t pixelBytes;   // image size − pixelOffset
};

// Checks a record of `size` bytes; fills `info` (may be null) when the image
// part is usable. Never reads outside [record, record + size).
SkinProblem CheckSkinRecord(const unsigned char* record, int32_t size, SkinImageInfo* info);

// Checks a BMP file image alone (what CheckSkinRecord does past the header).
SkinProblem CheckSkinImage(const unsigned char* image, int32_t size, SkinImageInfo* info);

// A short English description of a problem, for tools and logs.
const char* DescribeSkinProblem(SkinProblem problem);

// True for the problems that mean "this is not skin data" (as opposed to
// "the skin's bitmap is unusable").
bool IsSkinDataProblem(SkinProblem problem);

// Reads the whole file (no sharing; it must exist) and unpacks it into the
// current result. False when it cannot be opened or read into memory, or
// unpacking fails.
bool LoadSkinFile(const char* path);

// Unpacks the built-in default skin, stored packed twice, into the current
// result. False only when memory runs out.
bool LoadDefaultSkin();

// The built-in default skin exactly as stored: a stream whose content is a
// stream whose content is the record.
extern const unsigned char defaultSkinStored[];
extern const int32_t defaultSkinStoredSize;

#ifdef _WIN32
#include <windows.h>
// Makes a DIB section from a record's BMP image (the record from byte 56),
// keeping its depth, colour table and row order. Shows "not a bitmap file"
// (owned by `window`) for an image that does not start with "BM" or fails the
// image checks; returns null with no message when the system cannot make the
// section.
HBITMAP CreateSkinBitmap(HWND window, const unsigned char* image, int32_t imageSize);
#endif
