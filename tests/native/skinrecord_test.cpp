// Tests of the skin record checks: every rejection on crafted records, the
// image facts reported for usable ones, and that no check reads outside the
// record (each record is checked from an exact-size heap copy, so the
// sanitizer build catches any overread).
#include "skinfile.h"
#include "skintestdata.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>

namespace {

// Checks a record held in a block of exactly its size.
SkinProblem CheckExact(const ByteVec& record, SkinImageInfo* info = nullptr) {
    unsigned char* block = (unsigned char*)malloc(record.size() ? record.size() : 1);
    if (!record.empty()) memcpy(block, record.data(), record.size());
    SkinProblem problem = CheckSkinRecord(block, (int32_t)record.size(), info);
    free(block);
    return problem;
}

TEST(SkinRecordTest, UsableRecordsReportTheirImage) {
    struct Case {
        int32_t width, height;
        uint16_t bits;
        uint32_t infoSize;
    } cases[] = {
        {400, 336, 8, 40 + 1024}, {3, 2, 1, 40 + 8}, {5, 7, 4, 40 + 64},
        {17, -9, 24, 40},         {2, 2, 32, 40},    {9, 3, 16, 40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width * 1000 + c.bits);
        ByteVec image = MakeBmp(c.width, c.height, c.bits);
        SkinImageInfo info;
        memset(&info, 0xEE, sizeof info);
        ASSERT_EQ(SKIN_OK, CheckExact(MakeRecord(image), &info));
        EXPECT_EQ(c.width, info.width);
        EXPECT_EQ(c.height, info.height);
        EXPECT_EQ(c.bits, info.bitCount);
        EXPECT_EQ(0u, info.compression);
        EXPECT_EQ(c.infoSize, info.infoSize);
        EXPECT_EQ(14 + c.infoSize, info.pixelOffset);
        EXPECT_EQ(image.size() - info.pixelOffset, info.pixelBytes);
    }
}

TEST(SkinRecordTest, HeaderProblemsAreSkinDataProblems) {
    ByteVec good = MakeRecord(MakeBmp(4, 4, 8));
    ASSERT_EQ(SKIN_OK, CheckExact(good));

    for (size_t size : {0, 1, 4, 36, 55}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(SKIN_TOO_SHORT, CheckExact(ByteVec(good.begin(), good.begin() + size)));
    }
    EXPECT_EQ(SKIN_TOO_SHORT, CheckSkinRecord(nullptr, 100, nullptr));

    ByteVec magic = good;
    magic[3] = 'L';
    EXPECT_EQ(SKIN_BAD_MAGIC, CheckExact(magic));
    ByteVec lower = good;
    lower[0] = 'r';
    EXPECT_EQ(SKIN_BAD_MAGIC, CheckExact(lower));

    ByteVec title = good;
    memset(&title[4], 'T', 32);
    EXPECT_EQ(SKIN_TITLE_UNTERMINATED, CheckExact(title));
    title[4 + 31] = 0;  // the last byte may be the NUL
    EXPECT_EQ(SKIN_OK, CheckExact(title));

    for (SkinProblem p : {SKIN_TOO_SHORT, SKIN_BAD_MAGIC, SKIN_TITLE_UNTERMINATED})
        EXPECT_TRUE(IsSkinDataProblem(p)) << DescribeSkinProblem(p);
    for (SkinProblem p : {SKIN_OK, SKIN_NOT_BMP, SKIN_BMP_TRUNCATED, SKIN_BMP_BAD_HEADER, SKIN_BMP_BAD_OFFSET})
        EXPECT_FALSE(IsSkinDataProblem(p)) << DescribeSkinProblem(p);
}

TEST(SkinRecordTest, ImageMustBeABitmapFile) {
    ByteVec header = MakeRecord(ByteVec());
    EXPECT_EQ(SKIN_NOT_BMP, CheckExact(header)) << "header alone";
    ByteVec oneByte = header;
    oneByte.push_back('B');
    EXPECT_EQ(SKIN_NOT_BMP, CheckExact(oneByte));
    ByteVec image = MakeBmp(4, 4, 8);
    image[1] = 'A';
    EXPECT_EQ(SKIN_NOT_BMP, CheckExact(MakeRecord(image)));
    image[0] = 'M';
    image[1] = 'B';
    EXPECT_EQ(SKIN_NOT_BMP, CheckExact(MakeRecord(image)));
}

TEST(SkinRecordTest, CutOffImagesAreTruncated) {
    ByteVec image = MakeBmp(4, 4, 8);  // 14 + 40 + 1024 + 16
    // Cut inside the file header, the info header and the colour table.
    for (size_t size : {2, 10, 17, 20, 53, 54, 100, 1077}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(ByteVec(image.begin(), image.begin() + size))));
    }
    // Exactly the headers and table, with the offset at the end: no pixels, but safe.
    EXPECT_EQ(SKIN_OK, CheckExact(MakeRecord(ByteVec(image.begin(), image.begin() + 1078))));

    // An info header claiming more bytes than there are.
    ByteVec huge = image;
    Put32(huge, 14, 0xFFFFFFF0u);
    EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(huge)));
    Put32(huge, 14, (uint32_t)huge.size());
    EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(huge)));

    // A colour-table size that runs past the record.
    ByteVec deep = MakeBmp(2, 2, 24);
    Put32(deep, 46, 0x40000000u);
    EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(deep)));
    Put32(deep, 46, 0xFFFFFFFFu);
    EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(deep)));

    // Bit-field masks after a 40-byte header must be inside the image.
    ByteVec fields = MakeBmp(2, 2, 32);
    Put32(fields, 30, 3);  // BI_BITFIELDS
    ByteVec cut(fields.begin(), fields.begin() + 14 + 40 + 8);
    Put32(cut, 10, 14 + 40);
    EXPECT_EQ(SKIN_BMP_TRUNCATED, CheckExact(MakeRecord(cut)));
    SkinImageInfo info;
    ASSERT_EQ(SKIN_OK, CheckExact(MakeRecord(fields), &info));
    EXPECT_EQ(40u + 12u, info.infoSize);
}

TEST(SkinRecordTest, UnusableInfoHeadersAreRejected) {
    struct Case {
        size_t at;
        uint32_t value;
        int width;  // 2 or 4 bytes
        const char* what;
    } cases[] = {
        {14, 12, 4, "core header"},
        {14, 39, 4, "short info header"},
        {14, 0, 4, "zero info size"},
        {18, 0, 4, "zero width"},
        {18, 0xFFFFFFFFu, 4, "negative width"},
        {22, 0, 4, "zero height"},
        {22, 0x80000000u, 4, "most negative height"},
        {26, 0, 2, "zero planes"},
        {26, 2, 2, "two planes"},
        {28, 0, 2, "depth 0"},
        {28, 7, 2, "depth 7"},
        {28, 64, 2, "depth 64"},
        {46, 257, 4, "more colours than the depth allows"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteVec image = MakeBmp(4, 4, 8);
        if (c.width == 4)
            Put32(image, c.at, c.value);
        else
            Put16(image, c.at, (uint16_t)c.value);
        EXPECT_EQ(SKIN_BMP_BAD_HEADER, CheckExact(MakeRecord(image)));
    }
}

TEST(SkinRecordTest, AbsurdDimensionsAreRejectedWithoutOverflow) {
    struct Case {
        uint32_t width, height;
        SkinProblem expected;
    } cases[] = {
        {0x7FFFFFFFu, 0x7FFFFFFFu, SKIN_BMP_BAD_HEADER},
        {0x7FFFFFFFu, 1, SKIN_BMP_BAD_HEADER},
        {1, 0x7FFFFFFFu, SKIN_BMP_BAD_HEADER},
        {65536, 65536, SKIN_BMP_BAD_HEADER},
        {1, 0x80000001u, SKIN_BMP_BAD_HEADER},  // -2147483647 rows
        {8192, 8192, SKIN_OK},                  // 64 MiB of 8-bit pixels: allowed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        ByteVec image = MakeBmp(4, 4, 8);
        Put32(image, 18, c.width);
        Put32(image, 22, c.height);
        EXPECT_EQ(c.expected, CheckExact(MakeRecord(image)));
    }
}

TEST(SkinRecordTest, PixelOffsetMustLieBetweenHeadersAndEnd) {
    ByteVec image = MakeBmp(4, 4, 8);
    struct Case {
        uint32_t offset;
        SkinProblem expected;
    } cases[] = {
        {0, SKIN_BMP_BAD_OFFSET},
        {14, SKIN_BMP_BAD_OFFSET},
        {53, SKIN_BMP_BAD_OFFSET},
        {54, SKIN_OK},                      // overlapping the colour table: still inside
        {(uint32_t)image.size(), SKIN_OK},  // no pixel bytes
        {(uint32_t)image.size() + 1, SKIN_BMP_BAD_OFFSET},
        {0xFFFFFFFFu, SKIN_BMP_BAD_OFFSET},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offset);
        ByteVec bad = image;
        Put32(bad, 10, c.offset);
        SkinImageInfo info;
        EXPECT_EQ(c.expected, CheckExact(MakeRecord(bad), &info));
        if (c.expected == SKIN_OK) {
            EXPECT_EQ(image.size() - c.offset, info.pixelBytes);
        }
    }
}

TEST(SkinRecordTest, ImageCheckAloneMatchesTheRecordCheck) {
    ByteVec image = MakeBmp(6, -3, 4);
    SkinImageInfo fromImage, fromRecord;
    ASSERT_EQ(SKIN_OK, CheckSkinImage(image.data(), (int32_t)image.size(), &fromImage));
    ASSERT_EQ(SKIN_OK, CheckExact(MakeRecord(image), &fromRecord));
    EXPECT_EQ(0, memcmp(&fromImage, &fromRecord, sizeof fromImage));
    EXPECT_EQ(SKIN_NOT_BMP, CheckSkinImage(nullptr, 10, nullptr));
    EXPECT_EQ(SKIN_NOT_BMP, CheckSkinImage(image.data(), -5, nullptr));
}

TEST(SkinRecordTest, EveryProblemHasItsOwnDescription) {
    std::vector<std::string> seen;
    for (int p = SKIN_OK; p <= SKIN_BMP_BAD_OFFSET; ++p) {
        std::string text = DescribeSkinProblem((SkinProblem)p);
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(seen.end(), std::find(seen.begin(), seen.end(), text));
        seen.push_back(text);
    }
}

}  // namespace
