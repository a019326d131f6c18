// Times the outline build of the default skin under Wine: the whole
// BuildSkinRegion (32-bit copy, run scan, batched regions) on the 400 x 336
// default skin bitmap. Prints the mean per build and the region's rectangles.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include "codec.h"
#include "skinfile.h"
#include "skinregion.h"

int main(int argc, char** argv) {
    int rounds = argc > 1 ? atoi(argv[1]) : 200;
    if (rounds < 1) rounds = 1;
    if (!LoadDefaultSkin()) return 1;
    SkinHeader header;
    memcpy(&header, unpackedData, sizeof header);
    HBITMAP bitmap = CreateSkinBitmap(nullptr, unpackedData + sizeof header, unpackedSize - (int32_t)sizeof header);
    ReleaseUnpacked();
    if (!bitmap) return 1;

    LARGE_INTEGER frequency, start, stop;
    QueryPerformanceFrequency(&frequency);
    DWORD rects = 0;
    QueryPerformanceCounter(&start);
    for (int i = 0; i < rounds; ++i) {
        HRGN region = BuildSkinRegion(bitmap, header.transparentColor);
        if (!region) return 1;
        if (i == 0) {
            DWORD size = GetRegionData(region, 0, nullptr);
            RGNDATA* data = (RGNDATA*)malloc(size);
            if (data && GetRegionData(region, size, data)) rects = data->rdh.nCount;
            free(data);
        }
        DeleteObject(region);
    }
    QueryPerformanceCounter(&stop);
    double ms = (double)(stop.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart / rounds;
    printf("rounds=%d\nms_per_build=%.4f\nregion_rects=%lu\n", rounds, ms, (unsigned long)rects);
    DeleteObject(bitmap);
    return 0;
}
