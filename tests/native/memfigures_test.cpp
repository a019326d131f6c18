// The memory window's figures: kilobyte texts and bar positions from 64-bit
// byte counts, including machines with more than 4 GiB.
#include "memfigures.h"
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>
#include <string>

static const uint64_t KiB = 1024, MiB = 1024 * KiB, GiB = 1024 * MiB;

static std::string Text(uint64_t kilobytes) {
    char text[32];
    EXPECT_TRUE(FormatKilobytes(kilobytes, text, sizeof(text)));
    return text;
}

TEST(MemoryFigures, OneGibibyteWithAQuarterFree) {
    MemoryFigures f = ComputeMemoryFigures(1073741824u, 268435456u);
    EXPECT_EQ(f.totalKb, 1048576u);
    EXPECT_EQ(f.usedKb, 786432u);
    EXPECT_EQ(f.availableKb, 262144u);
    EXPECT_EQ(f.barPercent, 75);
    EXPECT_EQ(Text(f.totalKb), "1048576 [KB]");
    EXPECT_EQ(Text(f.usedKb), "786432 [KB]");
    EXPECT_EQ(Text(f.availableKb), "262144 [KB]");
}

TEST(MemoryFigures, TotalsAboveFourGibibytesKeepEveryBit) {
    MemoryFigures f = ComputeMemoryFigures(16 * GiB, 4 * GiB);
    EXPECT_EQ(f.totalKb, 16777216u);
    EXPECT_EQ(f.usedKb, 12582912u);
    EXPECT_EQ(f.availableKb, 4194304u);
    EXPECT_EQ(f.barPercent, 75);

    // 4 GiB + 1 MiB would read as 1 MiB in 32 bits.
    f = ComputeMemoryFigures(4 * GiB + MiB, MiB);
    EXPECT_EQ(f.totalKb, 4194304u + 1024u);
    EXPECT_EQ(f.usedKb, 4194304u);
    EXPECT_EQ(f.barPercent, 99);

    // A 64-bit process's 128 TiB address space, nearly all free.
    f = ComputeMemoryFigures(128 * 1024 * GiB, 128 * 1024 * GiB - 3 * GiB);
    EXPECT_EQ(f.totalKb, 137438953472u);
    EXPECT_EQ(f.usedKb, 3145728u);
    EXPECT_EQ(f.barPercent, 0);
    EXPECT_EQ(Text(f.totalKb), "137438953472 [KB]");
}

TEST(MemoryFigures, InUseIsShiftedAfterTheByteDifference) {
    // 2048 bytes total, 1 byte free: 2 KB total, 0 KB free, but only 1 KB in use.
    MemoryFigures f = ComputeMemoryFigures(2048, 1);
    EXPECT_EQ(f.totalKb, 2u);
    EXPECT_EQ(f.availableKb, 0u);
    EXPECT_EQ(f.usedKb, 1u);
}

TEST(MemoryFigures, BarTruncatesLikeTheDivisionByTotalOverHundred) {
    // 999 / (1000 / 100) = 99, not 100 (the exact ratio 99.9 is cut).
    EXPECT_EQ(ComputeMemoryFigures(1000, 1).barPercent, 99);
    // The divisor is truncated first: 150 / (250 / 100) = 150 / 2 = 75.
    EXPECT_EQ(ComputeMemoryFigures(250, 100).barPercent, 75);
    EXPECT_EQ(ComputeMemoryFigures(8 * GiB, 0).barPercent, 100);
    EXPECT_EQ(ComputeMemoryFigures(8 * GiB, 8 * GiB).barPercent, 0);
}

TEST(MemoryFigures, DegenerateCountsNeitherDivideByZeroNorWrap) {
    MemoryFigures f = ComputeMemoryFigures(99, 0);  // divisor would be 0
    EXPECT_EQ(f.barPercent, 0);
    EXPECT_EQ(f.totalKb, 0u);
    f = ComputeMemoryFigures(0, 0);
    EXPECT_EQ(f.barPercent, 0);
    EXPECT_EQ(f.usedKb, 0u);
    // 199 / (199 / 100) = 199: the bar stops at its end.
    EXPECT_EQ(ComputeMemoryFigures(199, 0).barPercent, 100);
    // More available than total: nothing in use rather than a wrapped count.
    f = ComputeMemoryFigures(GiB, 2 * GiB);
    EXPECT_EQ(f.usedKb, 0u);
    EXPECT_EQ(f.availableKb, 1048576u);
    EXPECT_EQ(f.barPercent, 0);
    f = ComputeMemoryFigures(UINT64_MAX, 0);
    EXPECT_EQ(f.totalKb, UINT64_MAX >> 10);
    EXPECT_EQ(f.barPercent, 100);
}

TEST(FormatKilobytes, WritesUnsignedDecimalThenTheUnit) {
    EXPECT_EQ(Text(0), "0 [KB]");
    EXPECT_EQ(Text(7), "7 [KB]");
    EXPECT_EQ(Text(4294967296u), "4294967296 [KB]");
    EXPECT_EQ(Text(UINT64_MAX), "18446744073709551615 [KB]");
}

TEST(FormatKilobytes, RefusesABufferTooSmallAndStaysInside) {
    // "123 [KB]" needs 9 bytes with its NUL.
    char text[16];
    memset(text, 'x', sizeof(text));
    EXPECT_TRUE(FormatKilobytes(123, text, 9));
    EXPECT_STREQ(text, "123 [KB]");
    memset(text, 'x', sizeof(text));
    EXPECT_FALSE(FormatKilobytes(123, text, 8));
    EXPECT_EQ(text[0], '\0');
    EXPECT_EQ(text[8], 'x');
    text[0] = 'x';
    EXPECT_FALSE(FormatKilobytes(123, text, 0));
    EXPECT_EQ(text[0], 'x');
}
