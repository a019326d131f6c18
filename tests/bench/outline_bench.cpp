// Speed of the outline scan on the default skin (400 x 336): the run scan
// with its 200-rectangle batches, beside a plain pass that reads every pixel
// once, so the scan's cost per pixel can be read against a bare memory pass.
#include "codec.h"
#include "outline.h"
#include "skinfile.h"

#include <benchmark/benchmark.h>

#include <string.h>

#include <vector>

namespace {

struct Picture {
    std::vector<uint32_t> pixels;  // 32-bit 0x00RRGGBB, bottom-up, like the working copy
    int32_t width = 0, height = 0;
    uint32_t transparent = 0;
};

// The default skin's 8-bit image expanded the way the 32-bit copy holds it.
Picture DefaultPicture() {
    Picture picture;
    if (!LoadDefaultSkin()) return picture;
    const unsigned char* record = unpackedData;
    SkinImageInfo info;
    if (CheckSkinRecord(record, unpackedSize, &info) == SKIN_OK && info.bitCount == 8 && info.height > 0) {
        SkinHeader header;
        memcpy(&header, record, sizeof header);
        const unsigned char* image = record + sizeof header;
        const unsigned char* table = image + 14 + 40;
        int32_t stride = (info.width + 3) & ~3;
        picture.width = info.width;
        picture.height = info.height;
        picture.transparent = header.transparentColor;
        for (int32_t row = 0; row < info.height; ++row) {
            const unsigned char* line = image + info.pixelOffset + (size_t)row * stride;
            for (int32_t x = 0; x < info.width; ++x) {
                const unsigned char* entry = table + 4 * line[x];
                picture.pixels.push_back((uint32_t)entry[2] << 16 | (uint32_t)entry[1] << 8 | entry[0]);
            }
        }
    }
    ReleaseUnpacked();
    return picture;
}

const Picture& Default() {
    static Picture picture = DefaultPicture();
    return picture;
}

struct Counts {
    uint64_t batches = 0, rects = 0;
};

bool CountBatch(void* context, const unsigned char* block) {
    Counts* counts = static_cast<Counts*>(context);
    ++counts->batches;
    counts->rects += OutlineBatchCount(block);
    return true;
}

void BM_OutlineScanDefaultSkin(benchmark::State& state) {
    const Picture& picture = Default();
    if (picture.pixels.empty()) {
        state.SkipWithError("default skin not readable");
        return;
    }
    uint32_t key = PixelKey(picture.transparent);
    unsigned char block[OUTLINE_BATCH_BYTES];
    Counts counts;
    for (auto _ : state) {
        counts = Counts();
        ScanOutline(picture.pixels.data(), picture.width, picture.height, key, block, CountBatch, &counts);
        benchmark::DoNotOptimize(counts);
    }
    state.counters["rects"] = (double)counts.rects;
    state.counters["batches"] = (double)counts.batches;
    state.SetItemsProcessed(state.iterations() * picture.pixels.size());
}
BENCHMARK(BM_OutlineScanDefaultSkin);

// Baseline: one comparison per pixel and nothing else.
void BM_PixelPassBaseline(benchmark::State& state) {
    const Picture& picture = Default();
    if (picture.pixels.empty()) {
        state.SkipWithError("default skin not readable");
        return;
    }
    uint32_t key = PixelKey(picture.transparent);
    for (auto _ : state) {
        uint64_t opaque = 0;
        for (uint32_t pixel : picture.pixels) opaque += pixel != key;
        benchmark::DoNotOptimize(opaque);
    }
    state.SetItemsProcessed(state.iterations() * picture.pixels.size());
}
BENCHMARK(BM_PixelPassBaseline);

}  // namespace
