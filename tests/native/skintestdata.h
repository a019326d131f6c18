// Builders of BMP file images and skin records for the skin library's tests.
#pragma once
#include "bytes.h"
#include "skinfile.h"

#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

typedef std::vector<unsigned char> ByteVec;

inline void Put32(ByteVec& b, size_t at, uint32_t v) {
    PutLe32(&b[at], v);
}

inline void Put16(ByteVec& b, size_t at, uint16_t v) {
    b[at] = (unsigned char)v;
    b[at + 1] = (unsigned char)(v >> 8);
}

// A well-formed BMP file image: 40-byte info header, full colour table for
// depths up to 8, pixel bytes filled with `fill` (row r, byte k = fill + r + k).
inline ByteVec MakeBmp(int32_t width, int32_t height, uint16_t bits, unsigned char fill = 0) {
    uint32_t table = bits <= 8 ? (1u << bits) * 4 : 0;
    uint32_t stride = ((uint32_t)width * bits + 31) / 32 * 4;
    uint32_t rows = (uint32_t)(height < 0 ? -height : height);
    uint32_t offset = 14 + 40 + table;
    ByteVec b(offset + stride * rows, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, (uint32_t)b.size());
    Put32(b, 10, offset);
    Put32(b, 14, 40);
    Put32(b, 18, (uint32_t)width);
    Put32(b, 22, (uint32_t)height);
    Put16(b, 26, 1);
    Put16(b, 28, bits);
    Put32(b, 34, stride * rows);
    Put32(b, 38, 3780);
    Put32(b, 42, 3780);
    for (uint32_t e = 0; e < table / 4; ++e) {
        b[54 + e * 4] = (unsigned char)e;              // blue
        b[54 + e * 4 + 1] = (unsigned char)(255 - e);  // green
        b[54 + e * 4 + 2] = (unsigned char)(e * 3);    // red
    }
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t k = 0; k < stride; ++k) b[offset + r * stride + k] = (unsigned char)(fill + r + k);
    return b;
}

// A record as the skin maker builds it: header, then the image verbatim.
inline ByteVec MakeRecord(const ByteVec& image, const char* title = "skin", int32_t left = 1, int32_t top = 2,
                          int32_t right = 30, int32_t bottom = 20, uint32_t transparent = 0x0000FF00) {
    SkinHeader h;
    memset(&h, 0, sizeof h);
    memcpy(h.magic, SKIN_MAGIC, 4);
    strncpy(h.title, title, sizeof h.title - 1);
    h.textLeft = left;
    h.textTop = top;
    h.textRight = right;
    h.textBottom = bottom;
    h.transparentColor = transparent;
    ByteVec record(sizeof h + image.size());
    memcpy(record.data(), &h, sizeof h);
    if (!image.empty()) memcpy(record.data() + sizeof h, image.data(), image.size());
    return record;
}
