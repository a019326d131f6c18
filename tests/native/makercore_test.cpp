// The skin maker's portable decisions: swatch contrast, the dragged rectangle,
// coordinate display, the proposed skin name, the title cut and the record.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include "makercore.h"

static uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | (g << 8) | (b << 16);
}

TEST(SwatchContrast, SumsAndTextColoursOfReferenceColours) {
    struct Case {
        uint32_t color;
        uint32_t sum;
        uint32_t text;
    } cases[] = {
        {Rgb(128, 128, 128), 128000, 0x000000}, {Rgb(127, 127, 127), 127000, 0xFFFFFF},
        {Rgb(255, 0, 0), 105315, 0xFFFFFF},     {Rgb(0, 255, 0), 149685, 0x000000},
        {Rgb(0, 0, 255), 0, 0xFFFFFF},          {Rgb(255, 255, 255), 255000, 0x000000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SwatchContrast(c.color), c.sum) << std::hex << c.color;
        EXPECT_EQ(SwatchTextColor(c.color), c.text) << std::hex << c.color;
    }
}

TEST(SwatchContrast, BlueAndHighByteCarryNoWeight) {
    // Same red and green, any blue: same answer, right at the threshold edges.
    EXPECT_EQ(SwatchTextColor(Rgb(128, 128, 255)), 0x000000u);
    EXPECT_EQ(SwatchTextColor(Rgb(127, 127, 255)), 0xFFFFFFu);
    EXPECT_EQ(SwatchContrast(0xFF000000u | Rgb(10, 20, 30)), SwatchContrast(Rgb(10, 20, 0)));
    // 413*R + 587*G just below and at 128000: R=0 needs G >= 218.06...
    EXPECT_EQ(SwatchTextColor(Rgb(0, 218, 0)), 0xFFFFFFu);  // 127966
    EXPECT_EQ(SwatchTextColor(Rgb(0, 219, 0)), 0x000000u);  // 128553
}

TEST(SwatchContrast, OnlyTheNoColourValueLeavesTheSwatchPlain) {
    EXPECT_FALSE(SwatchIsColoured(0xFFFFFFFFu));
    EXPECT_TRUE(SwatchIsColoured(0x00FFFFFFu));
    EXPECT_TRUE(SwatchIsColoured(0));
}

TEST(DragRectangle, SameRectangleWhicheverCornerComesFirst) {
    const int32_t a[2] = {10, 40}, b[2] = {70, 5};
    MakerRect expected = {10, 5, 70, 40};
    MakerRect forms[4] = {
        RectFromCorners(a[0], a[1], b[0], b[1]),
        RectFromCorners(b[0], b[1], a[0], a[1]),
        RectFromCorners(a[0], b[1], b[0], a[1]),
        RectFromCorners(b[0], a[1], a[0], b[1]),
    };
    for (const MakerRect& r : forms) {
        EXPECT_EQ(r.left, expected.left);
        EXPECT_EQ(r.top, expected.top);
        EXPECT_EQ(r.right, expected.right);
        EXPECT_EQ(r.bottom, expected.bottom);
    }
}

TEST(DragRectangle, PointAndNegativeCorners) {
    MakerRect point = RectFromCorners(7, 9, 7, 9);
    EXPECT_EQ(point.left, point.right);
    EXPECT_EQ(point.top, point.bottom);
    MakerRect outside = RectFromCorners(20, 30, -5, -12);
    EXPECT_EQ(outside.left, -5);
    EXPECT_EQ(outside.top, -12);
    EXPECT_EQ(outside.right, 20);
    EXPECT_EQ(outside.bottom, 30);
}

TEST(FieldDisplay, NegativeValuesShowAsUnsigned32Bit) {
    EXPECT_EQ(FieldDisplayValue(-5), 4294967291u);
    EXPECT_EQ(FieldDisplayValue(-1), 4294967295u);
    EXPECT_EQ(FieldDisplayValue(INT32_MIN), 2147483648u);
    EXPECT_EQ(FieldDisplayValue(0), 0u);
    EXPECT_EQ(FieldDisplayValue(2147483647), 2147483647u);
}

static std::string Propose(const std::string& path, size_t size = 260) {
    std::string out(size, 'x');
    bool ok = ProposeSkinName(path.c_str(), &out[0], size);
    std::string result = out.c_str();
    if (!ok) {
        EXPECT_EQ(result, "") << "a refused proposal leaves the buffer empty";
    }
    return ok ? result : "<refused>";
}

TEST(ProposeSkinName, ReplacesOrAddsTheExtensionInTheSameFolder) {
    EXPECT_EQ(Propose("C:\\skins\\face.bmp"), "C:\\skins\\face.msk");
    EXPECT_EQ(Propose("C:\\skins\\face.BMP"), "C:\\skins\\face.msk");
    EXPECT_EQ(Propose("C:\\skins\\face"), "C:\\skins\\face.msk");
    EXPECT_EQ(Propose("C:\\my.dir\\face"), "C:\\my.dir\\face.msk");
    EXPECT_EQ(Propose("C:\\skins\\face.old.bmp"), "C:\\skins\\face.old.msk");
    EXPECT_EQ(Propose("Z:/tmp/face.bmp"), "Z:/tmp/face.msk");
    EXPECT_EQ(Propose("face.bmp"), "face.msk");
}

TEST(ProposeSkinName, NeverProposesTheBitmapItself) {
    EXPECT_EQ(Propose("C:\\skins\\face.msk"), "C:\\skins\\face.msk.msk");
    EXPECT_EQ(Propose("C:\\skins\\face.MsK"), "C:\\skins\\face.MsK.msk");
}

TEST(ProposeSkinName, ShiftJisSecondBytesAreNotSeparatorsOrDots) {
    // "表" is 95 5C and "ソ" is 83 5C: their second byte is a backslash.
    const std::string hyo = "\x95\x5C", so = "\x83\x5C";
    EXPECT_EQ(Propose("C:\\" + hyo + "\\" + so + ".bmp"), "C:\\" + hyo + "\\" + so + ".msk");
    // A folder-less name ending in such a character: no separator in it at all.
    EXPECT_EQ(Propose(hyo + so), hyo + so + ".msk");
    // A lead byte whose second byte is '.' (0x81 0x2E is not valid, but must
    // still not be taken as an extension dot).
    EXPECT_EQ(Propose("a\x81.bmp"), "a\x81.bmp.msk");
}

TEST(ProposeSkinName, RefusesWhatDoesNotFit) {
    EXPECT_EQ(Propose(""), "<refused>");
    std::string longName = "C:\\" + std::string(250, 'a') + ".bmp";  // 257 bytes
    EXPECT_EQ(Propose(longName), "C:\\" + std::string(250, 'a') + ".msk");
    std::string tooLong = "C:\\" + std::string(253, 'a');  // 256 bytes, no extension
    EXPECT_EQ(Propose(tooLong), "<refused>");
    EXPECT_EQ(Propose("ab.bmp", 6), "<refused>");
    EXPECT_EQ(Propose("ab.bmp", 7), "ab.msk");
}

static std::string Cut(const std::string& text, size_t* kept = nullptr) {
    char title[32];
    memset(title, 'x', sizeof title);
    size_t n = CutTitle(text.c_str(), title);
    if (kept) *kept = n;
    for (size_t i = n; i < 32; ++i) EXPECT_EQ(title[i], 0) << "byte " << i << " after the text";
    return std::string(title, n);
}

TEST(CutTitle, AsciiKeepsAtMost31Bytes) {
    EXPECT_EQ(Cut(""), "");
    EXPECT_EQ(Cut("Tovrel"), "Tovrel");
    std::string thirtyTwo(32, 'T');
    EXPECT_EQ(Cut(thirtyTwo), std::string(31, 'T'));
    EXPECT_EQ(Cut(std::string(31, 'T')), std::string(31, 'T'));
    EXPECT_EQ(Cut(std::string(300, 'T')), std::string(31, 'T'));
}

TEST(CutTitle, NeverSplitsATwoByteCharacter) {
    const std::string nu = "\x82\xCA";  // "ぬ"
    // 16 two-byte characters: 32 bytes; the 16th would end at byte 32.
    std::string sixteen;
    for (int i = 0; i < 16; ++i) sixteen += nu;
    size_t kept = 0;
    EXPECT_EQ(Cut(sixteen, &kept), sixteen.substr(0, 30));
    EXPECT_EQ(kept, 30u);
    // One ASCII byte first: the 15th character then ends exactly at byte 31.
    EXPECT_EQ(Cut("A" + sixteen), ("A" + sixteen).substr(0, 31));
    // Half-width katakana (A1-DF) are single bytes and are kept to 31.
    EXPECT_EQ(Cut(std::string(40, '\xB1')), std::string(31, '\xB1'));
    // A second byte equal to '\\' does not confuse the count: 15 x "表" = 30 bytes, then "ab".
    std::string hyo;
    for (int i = 0; i < 15; ++i) hyo += "\x95\x5C";
    EXPECT_EQ(Cut(hyo + "ab"), hyo + "a");
}

TEST(CutTitle, DanglingLeadByteIsDropped) {
    EXPECT_EQ(Cut("ab\x82"), "ab");
    EXPECT_EQ(Cut("\xE0"), "");
}

TEST(MakerRecord, HeaderFieldsAtTheirOffsets) {
    SkinHeader header;
    memset(&header, 0xAA, sizeof header);
    FillSkinHeader(&header, "\x82\xCA\x82\xD8\x82\xEB", 3, -4, 249, 2147483647, 0x0000FF00u);
    const unsigned char* bytes = (const unsigned char*)&header;
    EXPECT_EQ(memcmp(bytes, "RZSK", 4), 0);
    EXPECT_EQ(memcmp(bytes + 4, "\x82\xCA\x82\xD8\x82\xEB", 6), 0);
    for (int i = 10; i < 36; ++i) EXPECT_EQ(bytes[i], 0) << "title byte " << i - 4;
    const unsigned char expected[20] = {3, 0, 0,    0,    0xFC, 0xFF, 0xFF, 0xFF, 249,  0,
                                        0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0xFF, 0x00, 0x00};
    EXPECT_EQ(memcmp(bytes + 36, expected, 20), 0);
}

TEST(MakerRecord, NoColourIsStoredAsAllOnes) {
    SkinHeader header;
    FillSkinHeader(&header, "", 0, 0, 0, 0, SKIN_NO_TRANSPARENT);
    const unsigned char* bytes = (const unsigned char*)&header;
    for (int i = 52; i < 56; ++i) EXPECT_EQ(bytes[i], 0xFF);
    EXPECT_EQ(header.title[0], 0);
}

TEST(MakerRecord, LengthIsFileSizePlusHeaderWithinSigned32Bits) {
    int32_t length = -1;
    ASSERT_TRUE(SkinRecordLength(0, &length));
    EXPECT_EQ(length, 56);
    ASSERT_TRUE(SkinRecordLength(135478, &length));
    EXPECT_EQ(length, 135534);
    ASSERT_TRUE(SkinRecordLength(2147483647u - 56, &length));
    EXPECT_EQ(length, 2147483647);
    length = 12345;
    EXPECT_FALSE(SkinRecordLength(2147483647u - 55, &length));
    EXPECT_FALSE(SkinRecordLength(0x100000000ull + 10, &length));  // the low 32 bits alone would look small
    EXPECT_EQ(length, 12345);
}

TEST(MakerRecord, NewRecordCarriesTheHeaderAndZeros) {
    SkinHeader header;
    FillSkinHeader(&header, "title", 1, 2, 3, 4, 0x00123456u);
    unsigned char* record = NewSkinRecord(&header, 56 + 10);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(memcmp(record, &header, 56), 0);
    for (int i = 56; i < 66; ++i) EXPECT_EQ(record[i], 0);
    free(record);
    EXPECT_EQ(NewSkinRecord(&header, 55), nullptr);
    EXPECT_EQ(NewSkinRecord(&header, -1), nullptr);
}
