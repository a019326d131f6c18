// The skin maker's decisions that need no window system: the swatch's text
// colour, the dragged rectangle, how a coordinate is shown, the name proposed
// for a new skin and the record block it fills.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "recordbuild.h"

// Weighted red-green sum of a COLORREF (0x00BBGGRR): 413 R + 587 G. Blue has
// no weight.
uint32_t SwatchContrast(uint32_t color);

// Text colour for the swatch painted in `color`: black (0x000000) when the
// contrast sum is 128000 or more, white (0xFFFFFF) otherwise.
uint32_t SwatchTextColor(uint32_t color);

// True when the swatch is painted in a colour at all (a colour was picked).
bool SwatchIsColoured(uint32_t color);

struct MakerRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// The rectangle spanned by two corners, whichever order they come in.
MakerRect RectFromCorners(int32_t ax, int32_t ay, int32_t bx, int32_t by);

// The number a coordinate field shows for a value: its unsigned 32-bit form,
// so a negative value shows as value + 2^32.
uint32_t FieldDisplayValue(int32_t value);

// Writes the proposed skin file name for a bitmap path into `out`: the same
// folder and name with the extension replaced by ".msk" (added when there is
// none). A name that already ends in ".msk" gets a second one, so the
// proposal never names the bitmap itself. Shift-JIS aware: a 0x5C second byte
// is not a folder separator. False, with `out` empty, when the proposal does
// not fit in `outSize` bytes or the path is empty.
bool ProposeSkinName(const char* bitmapPath, char* out, size_t outSize);

// A record block of `length` bytes from the runtime heap with `header` in its
// first 56 bytes and the rest zero; the caller reads the bitmap after it and
// frees it with free(). Null when `length` is below 56 or memory runs out.
unsigned char* NewSkinRecord(const SkinHeader* header, int32_t length);
