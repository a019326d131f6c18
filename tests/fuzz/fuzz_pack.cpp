// Fuzz target of the encoder: any input of three bytes or more, packed and
// unpacked, comes back unchanged; packing it twice gives the same stream,
// which never exceeds the bound.
#include "codec.h"
#include "unpackreport.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3 || size > (1u << 18)) return 0;
    unsigned char* input = (unsigned char*)malloc(size);
    memcpy(input, data, size);
    size_t bound = (size_t)PackedBound((int32_t)size);
    unsigned char* first = (unsigned char*)malloc(bound);
    unsigned char* second = (unsigned char*)malloc(bound);
    int32_t packed = PackToMemory(input, (int32_t)size, first);
    if (packed < 7 || (size_t)packed > bound) abort();
    if (PackToMemory(input, (int32_t)size, second) != packed || memcmp(first, second, (size_t)packed) != 0) abort();
    UnpackReport report;
    if (!UnpackStreamReport(first, packed, &report) || report.end != UNPACK_COMPLETE || report.consumed != packed ||
        unpackedSize != (int32_t)size || memcmp(unpackedData, input, size) != 0)
        abort();
    ReleaseUnpacked();
    free(second);
    free(first);
    free(input);
    return 0;
}
