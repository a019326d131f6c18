// Size arithmetic on the edges of 32 bits, where the 32-bit release's size_t
// and pointer differences would wrap if any sum were taken in them. Run in
// every native build, and in the 32-bit x86 one, where they matter.
#include "codec.h"
#include "skinfile.h"
#include "skintestdata.h"
#include "unpackreport.h"

#include <gtest/gtest.h>

TEST(Sizes32, DeclaredSizesNearTwoToThe31And32AreRefusedWithoutAllocating) {
    ASSERT_TRUE(UnpackStream((const unsigned char*)"\x05\0\0\0abcd", 8));
    for (uint32_t declared : {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu, (uint32_t)kMaxUnpackedSize + 1}) {
        SCOPED_TRACE(declared);
        unsigned char stream[9] = {(unsigned char)declared,
                                   (unsigned char)(declared >> 8),
                                   (unsigned char)(declared >> 16),
                                   (unsigned char)(declared >> 24),
                                   'x',
                                   'y',
                                   'z',
                                   0,
                                   'w'};
        UnpackReport report;
        EXPECT_FALSE(UnpackStreamReport(stream, sizeof stream, &report));
        EXPECT_EQ(report.end, UNPACK_REFUSED);
        EXPECT_EQ(unpackedSize, 5) << "the previous result stays";
    }
    ReleaseUnpacked();

    EXPECT_EQ(PackedBound(INT32_MAX), 7 + (int64_t)(INT32_MAX - 3) + ((int64_t)(INT32_MAX - 3) + 7) / 8);
    unsigned char byte = 0;
    EXPECT_EQ(PackToMemory(&byte, INT32_MAX, &byte), 0) << "a stream that could not be addressed is refused first";
}

TEST(Sizes32, ImageFieldsWhoseSumsPass32BitsAreRefused) {
    ByteVec image = MakeBmp(4, 4, 32);
    ByteVec huge = image;
    Put32(huge, 14, 0xFFFFFFF0u);  // info header size: 14 + it wraps
    EXPECT_EQ(CheckSkinImage(huge.data(), (int32_t)huge.size(), nullptr), SKIN_BMP_TRUNCATED);
    huge = image;
    Put32(huge, 14 + 32, 0x40000001u);  // colours used: * 4 wraps
    EXPECT_EQ(CheckSkinImage(huge.data(), (int32_t)huge.size(), nullptr), SKIN_BMP_TRUNCATED);
    huge = image;
    Put32(huge, 10, 0xFFFFFFFFu);  // pixel offset
    EXPECT_EQ(CheckSkinImage(huge.data(), (int32_t)huge.size(), nullptr), SKIN_BMP_BAD_OFFSET);
    huge = image;
    Put32(huge, 14 + 4, 0x10000);  // 65536 x 65536 x 4 bytes: 2^34
    Put32(huge, 14 + 8, 0x10000);
    EXPECT_EQ(CheckSkinImage(huge.data(), (int32_t)huge.size(), nullptr), SKIN_BMP_BAD_HEADER);
    Put32(huge, 14 + 4, 0x7FFFFFFF);  // a stride past 2^32
    Put32(huge, 14 + 8, 1);
    EXPECT_EQ(CheckSkinImage(huge.data(), (int32_t)huge.size(), nullptr), SKIN_BMP_BAD_HEADER);
}
