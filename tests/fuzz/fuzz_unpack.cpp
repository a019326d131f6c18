// Fuzz target of the decoder: arbitrary bytes as a stream must never make it
// leave its buffers. A sample of the inputs (one in 32, chosen by content so
// replays repeat it) is also packed and unpacked again and must come back
// unchanged; fuzz_pack round-trips them all.
//
// Each run allocates and zeroes its declared size, so declared sizes above
// FUZZ_DECLARED_LIMIT (64 KiB here) are skipped unless the decoder refuses
// them without allocating: one input costs microseconds. fuzz_unpack_large
// builds this file with the limit at the decoder's own maximum.
#include "codec.h"
#include "unpackreport.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifndef FUZZ_DECLARED_LIMIT
#define FUZZ_DECLARED_LIMIT (1 << 16)
#endif

static int32_t DeclaredSize(const uint8_t* p) {
    return (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
}

static bool SampledForRoundTrip(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (size_t k = 0; k < size; ++k) hash = (hash ^ data[k]) * 16777619u;
    return hash % 32 == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    if (size >= 4 && DeclaredSize(data) > FUZZ_DECLARED_LIMIT && DeclaredSize(data) <= kMaxUnpackedSize) return 0;
    // An exact-size copy, so any overread lands outside a heap block.
    unsigned char* input = (unsigned char*)calloc(size ? size : 1, 1);
    if (size) memcpy(input, data, size);

    UnpackReport report;
    bool unpacked = UnpackStreamReport(input, (int32_t)size, &report);
    if (unpacked) {
        if (report.produced > unpackedSize || report.consumed > (int32_t)size) abort();
        // Unpacking the result as a stream again exercises the in-place path;
        // the result's first bytes declare that stream's size, under the
        // same limit.
        if (unpackedSize < 4 || DeclaredSize(unpackedData) <= FUZZ_DECLARED_LIMIT ||
            DeclaredSize(unpackedData) > kMaxUnpackedSize)
            UnpackStream(unpackedData, unpackedSize);
    }
    ReleaseUnpacked();

    if (size >= 3 && size <= 65536 && SampledForRoundTrip(data, size)) {
        unsigned char* stream = (unsigned char*)malloc((size_t)PackedBound((int32_t)size));
        int32_t packed = PackToMemory(input, (int32_t)size, stream);
        if (packed <= 0 || packed > PackedBound((int32_t)size)) abort();
        if (!UnpackStreamReport(stream, packed, &report) || report.end != UNPACK_COMPLETE ||
            report.consumed != packed || unpackedSize != (int32_t)size || memcmp(unpackedData, input, size) != 0)
            abort();
        ReleaseUnpacked();
        free(stream);
    }
    free(input);
    return 0;
}
