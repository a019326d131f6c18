// Tests of the skin loaders: skin files (stale tails, short streams, missing
// or locked files) and the built-in default skin.
#include "codec.h"
#include "skinfile.h"
#include "skintestdata.h"
#include "unpackreport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

ByteVec Pack(const ByteVec& input) {
    ByteVec out((size_t)PackedBound((int32_t)input.size()));
    out.resize((size_t)PackToMemory(input.data(), (int32_t)input.size(), out.data()));
    return out;
}

struct SkinLoadTest : ::testing::Test {
    std::string dir;
    void SetUp() override {
        char templ[] = "/tmp/skinload_test_XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(templ));
        dir = templ;
        ReleaseUnpacked();
    }
    void TearDown() override {
        ReleaseUnpacked();
        std::error_code error;
        std::filesystem::remove_all(dir, error);
        EXPECT_FALSE(error) << error.message();
    }
    std::string Write(const char* name, const ByteVec& bytes) {
        std::string path = dir + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(nullptr, f);
        if (f) {
            if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
            fclose(f);
        }
        return path;
    }
    ByteVec Held() const { return ByteVec(unpackedData, unpackedData + unpackedSize); }
};

TEST_F(SkinLoadTest, LoadsARecordAndIgnoresAStaleTail) {
    ByteVec record = MakeRecord(MakeBmp(40, 30, 8, 7), "テスト");
    ByteVec stream = Pack(record);
    ASSERT_TRUE(LoadSkinFile(Write("plain.msk", stream).c_str()));
    EXPECT_EQ(record, Held());

    // Saved over a longer, older file: its tail stays behind the stream.
    ByteVec stale = stream;
    ByteVec older = Pack(MakeRecord(MakeBmp(90, 90, 24, 1)));
    ASSERT_GT(older.size(), stream.size());
    stale.insert(stale.end(), older.begin() + stream.size(), older.end());
    ReleaseUnpacked();
    ASSERT_TRUE(LoadSkinFile(Write("stale.msk", stale).c_str()));
    EXPECT_EQ(record, Held());
    EXPECT_EQ(SKIN_OK, CheckSkinRecord(unpackedData, unpackedSize, nullptr));
}

TEST_F(SkinLoadTest, AShortStreamLoadsWithAZeroTail) {
    ByteVec record = MakeRecord(MakeBmp(64, 16, 8, 5));
    ByteVec stream = Pack(record);
    // Drop the last items: the pixel data's end comes out zero.
    ByteVec shortStream(stream.begin(), stream.end() - 20);
    ASSERT_TRUE(LoadSkinFile(Write("short.msk", shortStream).c_str()));
    ASSERT_EQ(record.size(), (size_t)unpackedSize);
    UnpackReport report;
    ASSERT_TRUE(UnpackStreamReport(shortStream.data(), (int32_t)shortStream.size(), &report));
    ASSERT_LT(report.produced, unpackedSize);
    ASSERT_GT(report.produced, 1078 + 56) << "the cut must fall in the pixel data";
    EXPECT_TRUE(std::equal(record.begin(), record.begin() + report.produced, unpackedData));
    for (int32_t k = report.produced; k < unpackedSize; ++k) ASSERT_EQ(0, unpackedData[k]) << k;
    EXPECT_EQ(SKIN_OK, CheckSkinRecord(unpackedData, unpackedSize, nullptr));
}

TEST_F(SkinLoadTest, MissingEmptyAndLockedFilesFail) {
    ByteVec previous = Pack(MakeRecord(MakeBmp(2, 2, 8)));
    ASSERT_TRUE(UnpackStream(previous.data(), (int32_t)previous.size()));
    ByteVec held = Held();

    EXPECT_FALSE(LoadSkinFile((dir + "/absent.msk").c_str()));
    EXPECT_FALSE(LoadSkinFile(Write("empty.msk", ByteVec()).c_str()));
    EXPECT_FALSE(LoadSkinFile(Write("tiny.msk", ByteVec{3, 0, 0}).c_str()));
    EXPECT_FALSE(LoadSkinFile(nullptr));

    // Another holder with exclusive access keeps the loader out.
    std::string locked = Write("locked.msk", previous);
    int fd = open(locked.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, flock(fd, LOCK_EX));
    EXPECT_FALSE(LoadSkinFile(locked.c_str()));
    close(fd);
    EXPECT_EQ(held, Held()) << "failed loads leave the current result alone";
    ReleaseUnpacked();
    EXPECT_TRUE(LoadSkinFile(locked.c_str())) << "loads once released";
}

TEST_F(SkinLoadTest, ANonSkinFileLoadsButFailsTheCheck) {
    ByteVec text = Pack(ByteVec(5000, 'x'));
    ASSERT_TRUE(LoadSkinFile(Write("text.msk", text).c_str()));
    EXPECT_EQ(SKIN_BAD_MAGIC, CheckSkinRecord(unpackedData, unpackedSize, nullptr));
}

// The stored default skin: a stream of a stream of a usable record, and
// exactly what this encoder makes of that record.
TEST_F(SkinLoadTest, DefaultSkinIsTheRecordPackedTwice) {
    if (defaultSkinStoredSize <= 7) GTEST_SKIP() << "the built-in default skin has not been drawn yet";
    ASSERT_TRUE(LoadDefaultSkin());
    ByteVec record = Held();
    SkinImageInfo info;
    ASSERT_EQ(SKIN_OK, CheckSkinRecord(record.data(), (int32_t)record.size(), &info));
    const SkinHeader* h = (const SkinHeader*)record.data();
    EXPECT_STREQ("ぬぺろ", h->title);
    EXPECT_EQ(3, h->textLeft);
    EXPECT_EQ(3, h->textTop);
    EXPECT_EQ(249, h->textRight);
    EXPECT_EQ(290, h->textBottom);
    EXPECT_EQ(0x0000FF00u, h->transparentColor);
    EXPECT_EQ(400, info.width);
    EXPECT_EQ(336, info.height);
    EXPECT_EQ(8, info.bitCount);
    EXPECT_EQ(1078u, info.pixelOffset);
    EXPECT_EQ(record.size(), 56u + 1078u + 400u * 336u);

    ByteVec twice = Pack(Pack(record));
    EXPECT_EQ(ByteVec(defaultSkinStored, defaultSkinStored + defaultSkinStoredSize), twice);

    // A second load gives the same record again.
    ASSERT_TRUE(LoadDefaultSkin());
    EXPECT_EQ(record, Held());
}

}  // namespace
