// Encoder of the packed stream format. Its choices (which positions are
// remembered, the backward scan, nearest-wins on equal lengths) are fixed:
// the stored default skin must come out byte for byte the same.
//
// Only programs that pack link this file, and with it the 64 MiB
// last-position table.
#include "codec.h"
#include "platform.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const int32_t kWindow = 4096;
static const int32_t kMaxMatch = 18;
static const int32_t kMinMatch = 3;

// Most recent input position of each 3-byte sequence, or -1. Indexed by the
// sequence itself (first byte most significant): no hashing, no collisions.
static int32_t lastPosition[1 << 24];

static inline uint32_t KeyAt(const unsigned char* p)
{
    return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | (uint32_t)p[2];
}

int64_t PackedBound(int32_t length)
{
    if (length <= 3)
        return 7;
    int64_t items = (int64_t)length - 3;
    return 7 + items + (items + 7) / 8;
}

// Length of the best match for position i and its distance; 0 when none.
static int32_t FindMatch(const unsigned char* src, int32_t length, int32_t i, int32_t* distance)
{
    if (i >= length - 2)
        return 0;
    int32_t window = i < kWindow ? i : kWindow;
    int32_t last = lastPosition[KeyAt(src + i)];
    if (last < 0)
        return 0;
    int32_t d = i - last;
    int32_t best = 0;
    while (d <= window) {
        int32_t c = i - d;
        if (src[c] == src[i] && src[c + 1] == src[i + 1] && src[c + 2] == src[i + 2]) {
            int32_t n = kMinMatch;
            while (i + n < length && n < kMaxMatch && src[c + n] == src[i + n])
                ++n;
            if (n > best) {   // strictly longer: the nearest of equals stays
                best = n;
                *distance = d;
                if (n == kMaxMatch)
                    break;
            }
        }
        // A position can only match if src[c] reappears at its start, so
        // skip the ones whose first three bytes cannot equal src[i..i+2].
        unsigned char x = src[c];
        if (x == src[i + 1])
            d += 1;
        else if (x == src[i + 2])
            d += 2;
        else
            d += 3;
    }
    return best;
}

int32_t PackToMemory(const unsigned char* data, int32_t length, unsigned char* out)
{
    if (!data || !out || length < 3 || PackedBound(length) > INT32_MAX)
        return 0;
    memset(lastPosition, 0xFF, sizeof lastPosition);

    uint32_t l = (uint32_t)length;
    out[0] = (unsigned char)l;
    out[1] = (unsigned char)(l >> 8);
    out[2] = (unsigned char)(l >> 16);
    out[3] = (unsigned char)(l >> 24);
    out[4] = data[0];
    out[5] = data[1];
    out[6] = data[2];
    lastPosition[KeyAt(data)] = 0;   // positions 1 and 2 are never entered
    int32_t op = 7;
    int32_t i = 3;

    while (i < length) {
        int32_t flagPos = op++;
        unsigned flags = 0;
        for (int k = 0; k < 8 && i < length; ++k) {
            int32_t distance = 0;
            int32_t match = FindMatch(data, length, i, &distance);
            if (match >= kMinMatch) {
                out[op++] = (unsigned char)((distance - 1) & 0xFF);
                out[op++] = (unsigned char)(((match - kMinMatch) << 4) | ((distance - 1) >> 8));
                flags |= 1u << k;
                for (int32_t p = i; p < i + match && p + 2 < length; ++p)
                    lastPosition[KeyAt(data + p)] = p;
                i += match;
            } else {
                out[op++] = data[i];
                if (i + 2 < length)
                    lastPosition[KeyAt(data + i)] = i;
                i += 1;
            }
        }
        out[flagPos] = (unsigned char)flags;
    }
    return op;
}

// Fewer than three bytes cannot form a stream the decoder accepts, so such
// input is refused and no file is touched.
bool PackToFile(const char* path, const unsigned char* data, int32_t length)
{
    if (!path || !data || length < 3)
        return false;
    int64_t bound = PackedBound(length);
    if (bound > INT32_MAX)
        return false;
    unsigned char* out = (unsigned char*)malloc((size_t)bound);
    if (!out)
        return false;
    int32_t size = PackToMemory(data, length, out);
    bool written = size > 0 && WriteFileInPlace(path, out, size);
    free(out);
    return written;
}
