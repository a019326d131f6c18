// The window outline of a skin, computed without Windows: the pixel key of a
// transparent colour, and the scan that turns a 32-bit bottom-up image into
// one-row rectangles handed over in fixed batches laid out as RGNDATA.
#pragma once
#include <stdint.h>

#define OUTLINE_HEADER_BYTES 32
#define OUTLINE_BATCH_RECTS  200
#define OUTLINE_BATCH_BYTES  (OUTLINE_HEADER_BYTES + OUTLINE_BATCH_RECTS * 16)  // 3232
#define OUTLINE_EMPTY_EDGE   0x7FFFFFFF

// Rearranges a COLORREF (0x00BBGGRR) to the 0x00RRGGBB order of a 32-bit DIB
// pixel: red and blue swap places, green and the high byte stay.
uint32_t PixelKey(uint32_t colour);

// Sets a batch block to size 32, type 1 (rectangles), count 0, region size 0
// and the empty bounding box (0x7FFFFFFF, 0x7FFFFFFF, 0, 0).
void ResetOutlineBatch(unsigned char* block);

// Appends one rectangle (right and bottom exclusive) to the next free slot and
// widens the bounding box. Returns true when the batch has become full. The
// caller never adds to a full batch.
bool AddOutlineRect(unsigned char* block, int32_t left, int32_t top, int32_t right, int32_t bottom);

// Reads back what a batch holds (little-endian fields of the block).
uint32_t OutlineBatchCount(const unsigned char* block);
int32_t OutlineBatchField(const unsigned char* block, int offset);

// Receives a batch; returns false to abandon the scan.
typedef bool (*OutlineFlushProc)(void* context, const unsigned char* block);

// Scans a bottom-up image (the first `width` pixels in memory are the bottom
// row) from the top row down, left to right. Every run of pixels that differ
// from `key` becomes the rectangle (x0, y, x1, y + 1). A batch that reaches
// 200 rectangles is flushed and reset; after the last row the final batch is
// flushed too, also when it is empty. Returns false when a flush refused.
bool ScanOutline(const uint32_t* pixels, int32_t width, int32_t height, uint32_t key, unsigned char* block,
                 OutlineFlushProc flush, void* context);
