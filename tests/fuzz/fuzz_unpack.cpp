// Fuzz target of the decoder: arbitrary bytes as a stream must never make it
// leave its buffers. A sample of the inputs (one in 32, chosen by content so
// replays repeat it) is also packed and unpacked again and must come back
// unchanged; every packing fills the 64 MiB table, so doing it for all would
// slow the decoder's fuzzing a hundredfold. fuzz_pack round-trips them all.
#include "codec.h"
#include "unpackreport.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static bool SampledForRoundTrip(const uint8_t* data, size_t size)
{
    uint32_t hash = 2166136261u;   // FNV-1a
    for (size_t k = 0; k < size; ++k)
        hash = (hash ^ data[k]) * 16777619u;
    return hash % 32 == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    // Large declared sizes only time the zero fill of their result: above
    // 1 MiB, keep just those the decoder refuses without allocating.
    if (size >= 4) {
        int32_t declared = (int32_t)((uint32_t)data[0] | (uint32_t)data[1] << 8 | (uint32_t)data[2] << 16 |
                                     (uint32_t)data[3] << 24);
        if (declared > (1 << 20) && declared <= kMaxUnpackedSize)
            return 0;
    }
    // An exact-size copy, so any overread lands outside a heap block.
    unsigned char* input = (unsigned char*)calloc(size ? size : 1, 1);
    if (size)
        memcpy(input, data, size);

    UnpackReport report;
    bool unpacked = UnpackStreamReport(input, (int32_t)size, &report);
    if (unpacked) {
        if (report.produced > unpackedSize || report.consumed > (int32_t)size)
            abort();
        // Unpacking the result as a stream again exercises the in-place path.
        UnpackStream(unpackedData, unpackedSize);
    }
    ReleaseUnpacked();

    if (size >= 3 && SampledForRoundTrip(data, size)) {
        unsigned char* stream = (unsigned char*)malloc((size_t)PackedBound((int32_t)size));
        int32_t packed = PackToMemory(input, (int32_t)size, stream);
        if (packed <= 0 || packed > PackedBound((int32_t)size))
            abort();
        if (!UnpackStreamReport(stream, packed, &report) || report.end != UNPACK_COMPLETE ||
            report.consumed != packed || unpackedSize != (int32_t)size ||
            memcmp(unpackedData, input, size) != 0)
            abort();
        ReleaseUnpacked();
        free(stream);
    }
    free(input);
    return 0;
}
