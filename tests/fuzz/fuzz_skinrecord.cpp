// Fuzz target of the skin record checks: whatever the bytes, the checks stay
// inside the record, and for a record they accept, every byte they vouch for
// (the BITMAPINFO and the pixel range) is really there.
#include "skinfile.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static volatile unsigned sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    unsigned char* record = (unsigned char*)calloc(size ? size : 1, 1);
    if (size) memcpy(record, data, size);

    SkinImageInfo info;
    SkinProblem problem = CheckSkinRecord(record, (int32_t)size, &info);
    if (problem == SKIN_OK) {
        const unsigned char* image = record + sizeof(SkinHeader);
        size_t imageSize = size - sizeof(SkinHeader);
        if (info.pixelOffset > imageSize || info.pixelBytes != imageSize - info.pixelOffset ||
            14 + (size_t)info.infoSize > imageSize || info.width <= 0 || info.height == 0)
            abort();
        unsigned sum = 0;
        for (uint32_t k = 0; k < info.infoSize; ++k) sum += image[14 + k];
        for (uint32_t k = 0; k < info.pixelBytes; ++k) sum += image[info.pixelOffset + k];
        if (!memchr(((const SkinHeader*)record)->title, 0, 32)) abort();
        sink = sum;
    }
    if (!DescribeSkinProblem(problem)[0]) abort();
    free(record);
    return 0;
}
