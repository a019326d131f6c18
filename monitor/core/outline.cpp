// The run scan behind the skin outline. Rectangles go out in 3232-byte blocks
// so the working memory stays fixed whatever the skin's size.
#include "outline.h"
#include "bytes.h"

uint32_t PixelKey(uint32_t colour) {
    return (colour & 0xFF) << 16 | ((colour >> 16) & 0xFF) | (colour & 0xFF00FF00u);
}

void ResetOutlineBatch(unsigned char* block) {
    PutLe32(block + 0, OUTLINE_HEADER_BYTES);
    PutLe32(block + 4, 1);
    PutLe32(block + 8, 0);
    PutLe32(block + 12, 0);
    PutLe32(block + 16, OUTLINE_EMPTY_EDGE);
    PutLe32(block + 20, OUTLINE_EMPTY_EDGE);
    PutLe32(block + 24, 0);
    PutLe32(block + 28, 0);
}

uint32_t OutlineBatchCount(const unsigned char* block) {
    return GetLe32(block + 8);
}

int32_t OutlineBatchField(const unsigned char* block, int offset) {
    return (int32_t)GetLe32(block + offset);
}

bool AddOutlineRect(unsigned char* block, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    uint32_t count = OutlineBatchCount(block);
    unsigned char* slot = block + OUTLINE_HEADER_BYTES + count * 16;
    PutLe32(slot + 0, (uint32_t)left);
    PutLe32(slot + 4, (uint32_t)top);
    PutLe32(slot + 8, (uint32_t)right);
    PutLe32(slot + 12, (uint32_t)bottom);
    if (left < OutlineBatchField(block, 16)) PutLe32(block + 16, (uint32_t)left);
    if (top < OutlineBatchField(block, 20)) PutLe32(block + 20, (uint32_t)top);
    if (right > OutlineBatchField(block, 24)) PutLe32(block + 24, (uint32_t)right);
    if (bottom > OutlineBatchField(block, 28)) PutLe32(block + 28, (uint32_t)bottom);
    PutLe32(block + 8, ++count);
    return count >= OUTLINE_BATCH_RECTS;
}

bool ScanOutline(const uint32_t* pixels, int32_t width, int32_t height, uint32_t key, unsigned char* block,
                 OutlineFlushProc flush, void* context) {
    ResetOutlineBatch(block);
    for (int32_t y = 0; y < height; ++y) {
        // Bottom-up: image row y sits at memory row height - 1 - y.
        const uint32_t* row = pixels + (int64_t)(height - 1 - y) * width;
        int32_t x = 0;
        while (x < width) {
            if (row[x] == key) {
                ++x;
                continue;
            }
            int32_t x0 = x;
            while (x < width && row[x] != key) ++x;
            if (AddOutlineRect(block, x0, y, x, y + 1)) {
                if (!flush(context, block)) return false;
                ResetOutlineBatch(block);
            }
            ++x;  // the pixel at x equals the key (or the row has ended)
        }
    }
    return flush(context, block);
}
