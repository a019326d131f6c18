// Tests of the built-in default skin and the program icons: the stored bytes
// unpack to the expected record, the picture keeps the promises the monitor
// relies on (even pane colour, green only outside the shape), and drawing
// and packing again reproduces the committed files byte for byte.
#include "bytes.h"
#include "filebytes.h"
#include "codec.h"
#include "defaultskin_art.h"
#include "skinfile.h"

#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<unsigned char> Bytes;

const int kWidth = 400;
const int kHeight = 336;

unsigned Read16(const unsigned char* p) {
    return (unsigned)p[0] | (unsigned)p[1] << 8;
}

// The record as the monitor gets it.
Bytes LoadedRecord() {
    if (!LoadDefaultSkin()) return Bytes();
    Bytes record(unpackedData, unpackedData + unpackedSize);
    ReleaseUnpacked();
    return record;
}

Bytes FileBytes(const std::string& path) {
    Bytes bytes;
    ReadFileBytes(path.c_str(), &bytes);
    return bytes;
}

// Reads the picture of a record: colour of each pixel, rows from the top.
class Picture {
public:
    explicit Picture(const Bytes& record) : bmp_(record.data() + sizeof(SkinHeader)) {}

    unsigned Index(int x, int y) const { return bmp_[GetLe32(bmp_ + 10) + (size_t)(kHeight - 1 - y) * kWidth + x]; }
    // COLORREF 0x00BBGGRR of a colour-table entry.
    uint32_t EntryColour(unsigned index) const {
        const unsigned char* quad = bmp_ + 14 + 40 + 4 * index;
        return (uint32_t)quad[2] | (uint32_t)quad[1] << 8 | (uint32_t)quad[0] << 16;
    }
    uint32_t Colour(int x, int y) const { return EntryColour(Index(x, y)); }
    bool Green(int x, int y) const { return Colour(x, y) == 0x0000FF00u; }

private:
    const unsigned char* bmp_;
};

// Labels the 8-connected regions of pixels for which `inside` holds; returns
// the number of regions and fills `label` (0 = not inside).
template <typename Inside>
int LabelRegions(Inside inside, std::vector<int>* label) {
    label->assign((size_t)kWidth * kHeight, 0);
    int regions = 0;
    std::vector<int> stack;
    for (int start = 0; start < kWidth * kHeight; start++) {
        if ((*label)[start] || !inside(start % kWidth, start / kWidth)) continue;
        regions++;
        (*label)[start] = regions;
        stack.push_back(start);
        while (!stack.empty()) {
            const int at = stack.back();
            stack.pop_back();
            for (int dy = -1; dy <= 1; dy++) {
                for (int dx = -1; dx <= 1; dx++) {
                    const int x = at % kWidth + dx, y = at / kWidth + dy;
                    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) continue;
                    const int next = y * kWidth + x;
                    if ((*label)[next] || !inside(x, y)) continue;
                    (*label)[next] = regions;
                    stack.push_back(next);
                }
            }
        }
    }
    return regions;
}

TEST(DefaultSkin, LoadsIntoARecordWithTheExpectedHeader) {
    const Bytes record = LoadedRecord();
    ASSERT_EQ(record.size(), 135534u);
    SkinHeader header;
    memcpy(&header, record.data(), sizeof header);
    EXPECT_EQ(std::string(header.magic, 4), "RZSK");
    // "ぬぺろ" in Shift-JIS, its NUL, and nothing after it.
    static const unsigned char title[] = {0x82, 0xCA, 0x82, 0xD8, 0x82, 0xEB, 0x00};
    EXPECT_EQ(memcmp(header.title, title, sizeof title), 0);
    for (size_t i = sizeof title; i < sizeof header.title; i++) EXPECT_EQ(header.title[i], 0) << "title byte " << i;
    EXPECT_EQ(header.textLeft, 3);
    EXPECT_EQ(header.textTop, 3);
    EXPECT_EQ(header.textRight, 249);
    EXPECT_EQ(header.textBottom, 290);
    EXPECT_EQ(header.transparentColor, 0x0000FF00u);

    SkinImageInfo info;
    ASSERT_EQ(CheckSkinRecord(record.data(), (int32_t)record.size(), &info), SKIN_OK);
    EXPECT_EQ(info.width, 400);
    EXPECT_EQ(info.height, 336);
    EXPECT_EQ(info.bitCount, 8);
}

TEST(DefaultSkin, BitmapHeadersDescribeAnUncompressedBottomUp8BitImage) {
    const Bytes record = LoadedRecord();
    ASSERT_EQ(record.size(), 135534u);
    const unsigned char* bmp = record.data() + 56;
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(GetLe32(bmp + 2), 135478u);  // file size = record size - 56
    EXPECT_EQ(Read16(bmp + 6), 0u);
    EXPECT_EQ(Read16(bmp + 8), 0u);
    EXPECT_EQ(GetLe32(bmp + 10), 1078u);
    EXPECT_EQ(GetLe32(bmp + 14), 40u);
    EXPECT_EQ((int32_t)GetLe32(bmp + 18), 400);
    EXPECT_EQ((int32_t)GetLe32(bmp + 22), 336);  // positive: rows stored bottom-up
    EXPECT_EQ(Read16(bmp + 26), 1u);
    EXPECT_EQ(Read16(bmp + 28), 8u);
    EXPECT_EQ(GetLe32(bmp + 30), 0u);  // BI_RGB
    EXPECT_EQ(GetLe32(bmp + 34), 134400u);
    EXPECT_EQ(GetLe32(bmp + 38), 3780u);
    EXPECT_EQ(GetLe32(bmp + 42), 3780u);
    EXPECT_EQ(GetLe32(bmp + 46), 0u);
    EXPECT_EQ(GetLe32(bmp + 50), 0u);
    // The pixel rows fill the image exactly, with no padding or trailing bytes.
    EXPECT_EQ(record.size() - 56, GetLe32(bmp + 10) + GetLe32(bmp + 34));
}

TEST(DefaultSkin, TextRectangleSitsOnOneEvenPalePinkColour) {
    const Bytes record = LoadedRecord();
    ASSERT_EQ(record.size(), 135534u);
    const Picture picture(record);
    // The monitor samples the pane background at the rectangle's centre.
    EXPECT_EQ(picture.Colour(126, 146), 0x00FFDFFFu);
    const unsigned centre = picture.Index(126, 146);
    int others = 0;
    for (int y = 3; y < 290; y++)
        for (int x = 3; x < 249; x++)
            if (picture.Index(x, y) != centre) others++;
    EXPECT_EQ(others, 0) << "pixels of the text rectangle not in the balloon's fill";
    // The fill reaches past the rectangle on every side before the rim.
    EXPECT_EQ(picture.Colour(2, 146), 0x00FFDFFFu);
    EXPECT_EQ(picture.Colour(126, 2), 0x00FFDFFFu);
    EXPECT_EQ(picture.Colour(249, 146), 0x00FFDFFFu);
    EXPECT_EQ(picture.Colour(126, 290), 0x00FFDFFFu);
}

TEST(DefaultSkin, PureGreenSurroundsExactlyABalloonAndAFigure) {
    const Bytes record = LoadedRecord();
    ASSERT_EQ(record.size(), 135534u);
    const Picture picture(record);

    // One colour-table entry is the key, and the picture uses no other entry
    // of that colour.
    std::vector<bool> used(256, false);
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) used[picture.Index(x, y)] = true;
    int greenEntriesUsed = 0;
    for (unsigned i = 0; i < 256; i++)
        if (used[i] && picture.EntryColour(i) == 0x0000FF00u) greenEntriesUsed++;
    EXPECT_EQ(greenEntriesUsed, 1);

    // The shape is two pieces, no stray specks: the balloon around the text
    // rectangle, and the figure wholly to its right, standing tall.
    std::vector<int> shapeLabel;
    const int pieces = LabelRegions([&](int x, int y) { return !picture.Green(x, y); }, &shapeLabel);
    ASSERT_EQ(pieces, 2);
    const int balloon = shapeLabel[(size_t)146 * kWidth + 126];
    int balloonRight = 0, figureLeft = kWidth, figureTop = kHeight, figureBottom = 0;
    for (int y = 0; y < kHeight; y++) {
        for (int x = 0; x < kWidth; x++) {
            const int piece = shapeLabel[(size_t)y * kWidth + x];
            if (piece == balloon && x > balloonRight) balloonRight = x;
            if (piece != 0 && piece != balloon) {
                if (x < figureLeft) figureLeft = x;
                if (y < figureTop) figureTop = y;
                if (y > figureBottom) figureBottom = y;
            }
        }
    }
    EXPECT_LT(balloonRight, figureLeft);
    EXPECT_GT(figureLeft, 249);
    EXPECT_GT(figureBottom - figureTop, kHeight * 3 / 4);

    // Green enclosed by the shape (the gap between the legs) lets the desktop
    // show through the figure; the balloon itself is solid.
    std::vector<int> greenLabel;
    const int greenRegions = LabelRegions([&](int x, int y) { return picture.Green(x, y); }, &greenLabel);
    std::vector<bool> reachesBorder((size_t)greenRegions + 1, false);
    std::vector<int> leftmost((size_t)greenRegions + 1, kWidth);
    for (int y = 0; y < kHeight; y++) {
        for (int x = 0; x < kWidth; x++) {
            const int region = greenLabel[(size_t)y * kWidth + x];
            if (!region) continue;
            if (x == 0 || y == 0 || x == kWidth - 1 || y == kHeight - 1) reachesBorder[(size_t)region] = true;
            if (x < leftmost[(size_t)region]) leftmost[(size_t)region] = x;
        }
    }
    for (int region = 1; region <= greenRegions; region++) {
        if (!reachesBorder[(size_t)region]) {
            EXPECT_GT(leftmost[(size_t)region], figureLeft) << "green region " << region << " is a hole in the balloon";
        }
    }
}

TEST(DefaultSkin, DrawingAndPackingAgainGivesTheStoredBytes) {
    Bytes record;
    BuildDefaultSkinRecord(&record);
    EXPECT_TRUE(record == LoadedRecord()) << "the stored skin was drawn from another picture";

    Bytes stored;
    int32_t onceSize = 0;
    ASSERT_TRUE(PackDefaultSkinTwice(record, &stored, &onceSize));
    ASSERT_EQ((int32_t)stored.size(), defaultSkinStoredSize);
    EXPECT_TRUE(memcmp(stored.data(), defaultSkinStored, stored.size()) == 0)
        << "skin/default_skin.bin is out of date: regenerate it with mkdefaultskin";

    // The first pass yields the intermediate stream, which declares the record.
    ASSERT_TRUE(UnpackStream(defaultSkinStored, defaultSkinStoredSize));
    EXPECT_EQ(unpackedSize, onceSize);
    EXPECT_EQ(GetLe32(unpackedData), 135534u);
    ReleaseUnpacked();
}

// Checks the layout of one generated .ico and returns its 32 x 32 AND mask
// (1 = transparent), rows from the top.
std::vector<bool> IconTransparency(const Bytes& ico) {
    std::vector<bool> clear;
    EXPECT_EQ(ico.size(), 6u + 16u + 40u + 64u + 512u + 128u);
    if (ico.size() != 766u) return clear;
    EXPECT_EQ(Read16(&ico[0]), 0u);
    EXPECT_EQ(Read16(&ico[2]), 1u);  // icon
    EXPECT_EQ(Read16(&ico[4]), 1u);  // one image
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    EXPECT_EQ(ico[8], 16);
    EXPECT_EQ(Read16(&ico[10]), 1u);
    EXPECT_EQ(Read16(&ico[12]), 4u);
    EXPECT_EQ(GetLe32(&ico[14]), 744u);
    EXPECT_EQ(GetLe32(&ico[18]), 22u);
    const unsigned char* info = &ico[22];
    EXPECT_EQ(GetLe32(info), 40u);
    EXPECT_EQ(GetLe32(info + 4), 32u);
    EXPECT_EQ(GetLe32(info + 8), 64u);  // colour image and mask
    EXPECT_EQ(Read16(info + 14), 4u);
    const unsigned char* colours = info + 40 + 64;
    const unsigned char* mask = colours + 512;
    for (int y = 0; y < 32; y++) {
        const unsigned char* row = mask + (31 - y) * 4;
        for (int x = 0; x < 32; x++) {
            const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
            clear.push_back(transparent);
            // Transparent pixels are black in the colour image, so they vanish.
            const unsigned char pair = colours[(31 - y) * 16 + x / 2];
            if (transparent) {
                EXPECT_EQ(x % 2 == 0 ? pair >> 4 : pair & 15, 0) << x << "," << y;
            }
        }
    }
    return clear;
}

TEST(ProgramIcons, AreOutlinedPicturesOnATransparentGround) {
    Bytes monitorIcon, makerIcon;
    BuildIconFile(ICON_MONITOR, &monitorIcon);
    BuildIconFile(ICON_SKINMAKER, &makerIcon);
    EXPECT_NE(monitorIcon, makerIcon);
    for (const Bytes* ico : {&monitorIcon, &makerIcon}) {
        const std::vector<bool> clear = IconTransparency(*ico);
        ASSERT_EQ(clear.size(), 1024u);
        EXPECT_TRUE(clear[0]);              // top-left corner
        EXPECT_TRUE(clear[31 * 32]);        // bottom-left corner
        EXPECT_FALSE(clear[16 * 32 + 16]);  // the middle is drawn
        int opaque = 0;
        for (bool c : clear) opaque += c ? 0 : 1;
        EXPECT_GT(opaque, 400);
        EXPECT_LT(opaque, 1000);
    }
}

TEST(ProgramIcons, CommittedFilesMatchTheGenerator) {
    Bytes monitorIcon, makerIcon;
    BuildIconFile(ICON_MONITOR, &monitorIcon);
    BuildIconFile(ICON_SKINMAKER, &makerIcon);
    EXPECT_EQ(FileBytes(std::string(TOVREL_SOURCE_DIR) + "/monitor/tovrel.ico"), monitorIcon);
    EXPECT_EQ(FileBytes(std::string(TOVREL_SOURCE_DIR) + "/skinmaker/skinmaker.ico"), makerIcon);
}

}  // namespace
