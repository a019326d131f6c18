// The skin outline scan: pixel key, one-row runs, 200-rectangle batches in the
// RGNDATA layout, and the final (possibly empty) batch.
#include <gtest/gtest.h>
#include <string.h>
#include <random>
#include <set>
#include <tuple>
#include <vector>
#include "outline.h"

namespace {

typedef std::vector<unsigned char> Block;
typedef std::tuple<int32_t, int32_t, int32_t, int32_t> Rect;

struct Collector {
    std::vector<Block> batches;
    int refuseAt = -1;  // index of the flush that answers false
};

bool Collect(void* context, const unsigned char* block) {
    Collector* collector = static_cast<Collector*>(context);
    collector->batches.emplace_back(block, block + OUTLINE_BATCH_BYTES);
    return (int)collector->batches.size() - 1 != collector->refuseAt;
}

std::vector<Rect> RectsOf(const Block& block) {
    std::vector<Rect> rects;
    for (uint32_t i = 0; i < OutlineBatchCount(block.data()); ++i) {
        int at = OUTLINE_HEADER_BYTES + (int)i * 16;
        rects.emplace_back(OutlineBatchField(block.data(), at), OutlineBatchField(block.data(), at + 4),
                           OutlineBatchField(block.data(), at + 8), OutlineBatchField(block.data(), at + 12));
    }
    return rects;
}

std::vector<Rect> AllRects(const Collector& collector) {
    std::vector<Rect> all;
    for (const Block& block : collector.batches) {
        std::vector<Rect> rects = RectsOf(block);
        all.insert(all.end(), rects.begin(), rects.end());
    }
    return all;
}

// An image given top row first, stored bottom-up like the working copy.
std::vector<uint32_t> BottomUp(const std::vector<std::vector<uint32_t>>& rowsTopFirst) {
    std::vector<uint32_t> pixels;
    for (auto row = rowsTopFirst.rbegin(); row != rowsTopFirst.rend(); ++row)
        pixels.insert(pixels.end(), row->begin(), row->end());
    return pixels;
}

Collector Scan(const std::vector<uint32_t>& pixels, int32_t width, int32_t height, uint32_t key) {
    Collector collector;
    unsigned char block[OUTLINE_BATCH_BYTES];
    EXPECT_TRUE(ScanOutline(pixels.data(), width, height, key, block, Collect, &collector));
    return collector;
}

void ExpectHeader(const Block& block) {
    EXPECT_EQ(OutlineBatchField(block.data(), 0), 32);
    EXPECT_EQ(OutlineBatchField(block.data(), 4), 1);
    EXPECT_EQ(OutlineBatchField(block.data(), 12), 0);
}

void ExpectEmptyBox(const Block& block) {
    EXPECT_EQ(OutlineBatchField(block.data(), 16), 0x7FFFFFFF);
    EXPECT_EQ(OutlineBatchField(block.data(), 20), 0x7FFFFFFF);
    EXPECT_EQ(OutlineBatchField(block.data(), 24), 0);
    EXPECT_EQ(OutlineBatchField(block.data(), 28), 0);
}

const uint32_t T = 0x0000FF00;  // key of pure green
const uint32_t O = 0x00FFDFFF;  // an opaque pixel

}  // namespace

TEST(PixelKey, SwapsRedAndBlueKeepsGreenAndHighByte) {
    EXPECT_EQ(PixelKey(0x00112233u), 0x00332211u);
    EXPECT_EQ(PixelKey(0x0000FF00u), 0x0000FF00u);
    EXPECT_EQ(PixelKey(0xAABBCCDDu), 0xAADDCCBBu);
    EXPECT_EQ(PixelKey(0x000000FFu), 0x00FF0000u);
}

TEST(OutlineBatch, ResetWritesTheRegionDataHeaderLittleEndian) {
    unsigned char block[OUTLINE_BATCH_BYTES];
    memset(block, 0xCC, sizeof block);
    ResetOutlineBatch(block);
    const unsigned char expected[32] = {32,   0,    0,    0,    1,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,
                                        0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(0, memcmp(block, expected, 32));
    EXPECT_EQ(OUTLINE_BATCH_BYTES, 3232);
}

TEST(OutlineBatch, AddWidensTheBoxAndReportsFullAt200) {
    unsigned char block[OUTLINE_BATCH_BYTES];
    ResetOutlineBatch(block);
    EXPECT_FALSE(AddOutlineRect(block, 5, 7, 9, 8));
    EXPECT_FALSE(AddOutlineRect(block, -3, 9, 2, 10));
    EXPECT_EQ(OutlineBatchCount(block), 2u);
    EXPECT_EQ(OutlineBatchField(block, 16), -3);
    EXPECT_EQ(OutlineBatchField(block, 20), 7);
    EXPECT_EQ(OutlineBatchField(block, 24), 9);
    EXPECT_EQ(OutlineBatchField(block, 28), 10);
    EXPECT_EQ(OutlineBatchField(block, 32 + 16), -3);  // second slot, left
    for (int i = 2; i < 199; ++i) EXPECT_FALSE(AddOutlineRect(block, 0, i, 1, i + 1));
    EXPECT_TRUE(AddOutlineRect(block, 0, 199, 1, 200));
    EXPECT_EQ(OutlineBatchCount(block), 200u);
}

TEST(ScanOutline, FivePixelRowGivesTwoRunsOnItsOwnRow) {
    std::vector<uint32_t> pixels = BottomUp({{T, T, T, T, T}, {O, O, T, O, O}, {T, T, T, T, T}});
    Collector collector = Scan(pixels, 5, 3, T);
    ASSERT_EQ(collector.batches.size(), 1u);
    EXPECT_EQ(AllRects(collector), (std::vector<Rect>{Rect(0, 1, 2, 2), Rect(3, 1, 5, 2)}));
    const Block& block = collector.batches[0];
    ExpectHeader(block);
    EXPECT_EQ(OutlineBatchField(block.data(), 16), 0);
    EXPECT_EQ(OutlineBatchField(block.data(), 20), 1);
    EXPECT_EQ(OutlineBatchField(block.data(), 24), 5);
    EXPECT_EQ(OutlineBatchField(block.data(), 28), 2);
}

TEST(ScanOutline, RowsAreTakenTopDownFromABottomUpImage) {
    // The top row is the last row in memory: its run must come out first, at y = 0.
    std::vector<uint32_t> pixels = BottomUp({{O, T, T, T}, {T, T, T, O}});
    Collector collector = Scan(pixels, 4, 2, T);
    EXPECT_EQ(AllRects(collector), (std::vector<Rect>{Rect(0, 0, 1, 1), Rect(3, 1, 4, 2)}));
}

TEST(ScanOutline, RunsAreNeverMergedAcrossRows) {
    std::vector<uint32_t> pixels = BottomUp({{O, O, O}, {O, O, O}});
    Collector collector = Scan(pixels, 3, 2, T);
    EXPECT_EQ(AllRects(collector), (std::vector<Rect>{Rect(0, 0, 3, 1), Rect(0, 1, 3, 2)}));
}

TEST(ScanOutline, ExactlyTwoHundredRunsGiveAFullAndAnEmptyBatch) {
    std::vector<uint32_t> row;
    for (int i = 0; i < 200; ++i) {
        row.push_back(O);
        row.push_back(T);
    }
    Collector collector = Scan(row, 400, 1, T);
    ASSERT_EQ(collector.batches.size(), 2u);
    EXPECT_EQ(OutlineBatchCount(collector.batches[0].data()), 200u);
    EXPECT_EQ(OutlineBatchField(collector.batches[0].data(), 16), 0);
    EXPECT_EQ(OutlineBatchField(collector.batches[0].data(), 24), 399);
    EXPECT_EQ(OutlineBatchCount(collector.batches[1].data()), 0u);
    ExpectHeader(collector.batches[1]);
    ExpectEmptyBox(collector.batches[1]);
    std::vector<Rect> rects = AllRects(collector);
    ASSERT_EQ(rects.size(), 200u);
    for (int i = 0; i < 200; ++i) EXPECT_EQ(rects[i], Rect(2 * i, 0, 2 * i + 1, 1));
}

TEST(ScanOutline, TwoHundredAndOneRunsSpillOneIntoTheFinalBatch) {
    std::vector<uint32_t> row;
    for (int i = 0; i < 201; ++i) {
        row.push_back(T);
        row.push_back(O);
    }
    Collector collector = Scan(row, 402, 1, T);
    ASSERT_EQ(collector.batches.size(), 2u);
    EXPECT_EQ(OutlineBatchCount(collector.batches[0].data()), 200u);
    std::vector<Rect> last = RectsOf(collector.batches[1]);
    EXPECT_EQ(last, (std::vector<Rect>{Rect(401, 0, 402, 1)}));  // the run ends with the row
    EXPECT_EQ(OutlineBatchField(collector.batches[1].data(), 16), 401);
    EXPECT_EQ(OutlineBatchField(collector.batches[1].data(), 24), 402);
}

TEST(ScanOutline, AllTransparentGivesOneEmptyBatch) {
    std::vector<uint32_t> pixels(7 * 5, T);
    Collector collector = Scan(pixels, 7, 5, T);
    ASSERT_EQ(collector.batches.size(), 1u);
    EXPECT_EQ(OutlineBatchCount(collector.batches[0].data()), 0u);
    ExpectHeader(collector.batches[0]);
    ExpectEmptyBox(collector.batches[0]);
}

TEST(ScanOutline, ComparesAllThirtyTwoBits) {
    // A pixel that matches the key only in its low 24 bits is not transparent.
    std::vector<uint32_t> pixels = {T, T | 0x01000000u, T};
    Collector collector = Scan(pixels, 3, 1, T);
    EXPECT_EQ(AllRects(collector), (std::vector<Rect>{Rect(1, 0, 2, 1)}));
}

TEST(ScanOutline, RefusedFlushStopsTheScan) {
    std::vector<uint32_t> row;
    for (int i = 0; i < 600; ++i) {
        row.push_back(O);
        row.push_back(T);
    }
    Collector collector;
    collector.refuseAt = 1;
    unsigned char block[OUTLINE_BATCH_BYTES];
    EXPECT_FALSE(ScanOutline(row.data(), 1200, 1, T, block, Collect, &collector));
    EXPECT_EQ(collector.batches.size(), 2u);
}

TEST(ScanOutline, RandomImagesAreCoveredExactlyByMaximalRuns) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 40; ++round) {
        int32_t width = 1 + (int32_t)(random() % 60), height = 1 + (int32_t)(random() % 40);
        std::vector<uint32_t> pixels(width * height);
        for (uint32_t& p : pixels) p = random() % 3 == 0 ? T : (uint32_t)random();
        Collector collector = Scan(pixels, width, height, T);
        auto at = [&](int32_t x, int32_t y) { return pixels[(size_t)(height - 1 - y) * width + x]; };
        std::set<std::pair<int32_t, int32_t>> covered;
        size_t runs = 0;
        for (size_t b = 0; b < collector.batches.size(); ++b) {
            const Block& block = collector.batches[b];
            ExpectHeader(block);
            bool last = b + 1 == collector.batches.size();
            EXPECT_EQ(OutlineBatchCount(block.data()) == 200u, !last);
            for (const Rect& r : RectsOf(block)) {
                auto [x0, y, x1, y1] = r;
                ++runs;
                ASSERT_EQ(y1, y + 1);
                ASSERT_LT(x0, x1);
                EXPECT_TRUE(x0 == 0 || at(x0 - 1, y) == T);
                EXPECT_TRUE(x1 == width || at(x1, y) == T);
                EXPECT_GE(x0, OutlineBatchField(block.data(), 16));
                EXPECT_GE(y, OutlineBatchField(block.data(), 20));
                EXPECT_LE(x1, OutlineBatchField(block.data(), 24));
                EXPECT_LE(y1, OutlineBatchField(block.data(), 28));
                for (int32_t x = x0; x < x1; ++x) EXPECT_TRUE(covered.insert({x, y}).second);
            }
        }
        size_t opaque = 0;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                if (at(x, y) != T) {
                    ++opaque;
                    EXPECT_TRUE(covered.count({x, y}));
                }
        EXPECT_EQ(covered.size(), opaque);
        EXPECT_EQ(collector.batches.size(), runs / 200 + 1);
    }
}
