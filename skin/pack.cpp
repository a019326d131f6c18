// Encoder of the packed stream format. Its choices (which positions are
// remembered, the backward scan, nearest-wins on equal lengths) are fixed:
// the stored default skin must come out byte for byte the same.
//
// Only programs that pack link this file, and with it the 64 MiB
// last-position table.
#include "bytes.h"
#include "codec.h"
#include "platform.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const int32_t kWindow = PACK_WINDOW;
static const int32_t kMaxMatch = PACK_MAX_MATCH;
static const int32_t kMinMatch = PACK_MIN_MATCH;

// Above this many input bytes, putting the table back clears all of it at
// once; up to it, only the entries the packing wrote (one random access per
// position beats a 64 MiB fill below about this size).
static const int32_t kSparseClearLimit = 1 << 18;

// Most recent input position of each 3-byte sequence, plus one (0: none).
// Indexed by the sequence itself (first byte most significant): no hashing,
// no collisions. Every packing leaves it all zero again, as it starts.
static int32_t lastPosition[1 << 24];

static inline uint32_t KeyAt(const unsigned char* p) {
    return (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | (uint32_t)p[2];
}

int64_t PackedBound(int32_t length) {
    if (length <= 3) return 7;
    int64_t items = (int64_t)length - 3;
    return 7 + items + (items + 7) / 8;
}

// For each entered position (by its low 12 bits), the entered position
// before it with the same three bytes, or -1: the candidates of a match,
// nearest first. Slots are read only for positions inside the window, which
// no later position has overwritten yet.
static int32_t previousSame[kWindow];

static void EnterPosition(const unsigned char* data, int32_t p) {
    int32_t* slot = &lastPosition[KeyAt(data + p)];
    previousSame[p & (kWindow - 1)] = *slot - 1;
    *slot = p + 1;
}

// Length of the match at candidate c for position i (0 unless its first
// three bytes are equal).
static int32_t MatchLength(const unsigned char* src, int32_t length, int32_t i, int32_t c) {
    if (src[c] != src[i] || src[c + 1] != src[i + 1] || src[c + 2] != src[i + 2]) return 0;
    int32_t n = kMinMatch;
    while (i + n < length && n < kMaxMatch && src[c + n] == src[i + n]) ++n;
    return n;
}

// Length of the best match for position i and its distance; 0 when none.
// The candidates are every earlier position from the most recent entered one
// with the same three bytes back to the window's far end, nearest first; a
// strictly longer match replaces the best, so the nearest of equals stays.
// Positions 1 and 2 are never entered, so they are tried where they fall.
static int32_t FindMatch(const unsigned char* src, int32_t length, int32_t i, int32_t* distance) {
    if (i >= length - 2) return 0;
    int32_t far = i - (i < kWindow ? i : kWindow);
    int32_t last = lastPosition[KeyAt(src + i)] - 1;
    int32_t best = 0;
    int32_t c = last;
    for (; c >= 3 && c >= far; c = previousSame[c & (kWindow - 1)]) {
        int32_t n = MatchLength(src, length, i, c);
        if (n > best) {
            best = n;
            *distance = i - c;
            if (n == kMaxMatch) return best;
        }
    }
    // What is left below 3: positions 2 and 1 when they are candidates, then
    // position 0 when the chain reached it.
    int32_t tail[3] = {2, 1, c == 0 ? 0 : -1};
    for (int32_t t : tail) {
        if (t < 0 || t > last || t < far) continue;
        int32_t n = MatchLength(src, length, i, t);
        if (n > best) {
            best = n;
            *distance = i - t;
            if (n == kMaxMatch) break;
        }
    }
    return best;
}

void ResetPackTable() {
    memset(lastPosition, 0, sizeof lastPosition);
}

// Empties what a packing of `data` entered: only positions with two bytes
// after them were ever entered.
static void ClearPackTable(const unsigned char* data, int32_t length) {
    if (length > kSparseClearLimit) {
        ResetPackTable();
        return;
    }
    for (int32_t p = 0; p + 2 < length; ++p) lastPosition[KeyAt(data + p)] = 0;
}

int32_t PackToMemory(const unsigned char* data, int32_t length, unsigned char* out) {
    if (!data || !out || length < 3 || PackedBound(length) > INT32_MAX) return 0;

    PutLe32(out, (uint32_t)length);
    out[4] = data[0];
    out[5] = data[1];
    out[6] = data[2];
    EnterPosition(data, 0);  // positions 1 and 2 are never entered
    int32_t op = PACK_STREAM_HEAD;
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
                for (int32_t p = i; p < i + match && p + 2 < length; ++p) EnterPosition(data, p);
                i += match;
            } else {
                out[op++] = data[i];
                if (i + 2 < length) EnterPosition(data, i);
                i += 1;
            }
        }
        out[flagPos] = (unsigned char)flags;
    }
    ClearPackTable(data, length);
    return op;
}

// Fewer than three bytes cannot form a stream the decoder accepts, so such
// input is refused and no file is touched.
bool PackToFile(const char* path, const unsigned char* data, int32_t length) {
    if (!path || !data || length < 3) return false;
    int64_t bound = PackedBound(length);
    if (bound > INT32_MAX) return false;
    unsigned char* out = (unsigned char*)malloc((size_t)bound);
    if (!out) return false;
    int32_t size = PackToMemory(data, length, out);
    bool written = size > 0 && WriteFileInPlace(path, out, size);
    free(out);
    return written;
}
