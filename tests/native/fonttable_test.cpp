// The font table: 23 faces in their fixed order, the Japanese ones in
// Shift-JIS, every name short enough for a font face field.
#include "fonttable.h"
#include <gtest/gtest.h>
#include <string.h>
#include <string>

static std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(FontTable, LatinFacesInTheirRows) {
    const char* expected[FONT_TABLE_SIZE] = {
        "FixedSys",
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        "MS UI Gothic",
        "Verdana",
        "Times New Roman",
        "Comic Sans MS",
        "Arial",
        "Century Gothic",
        "Courier New",
        "Lucida Console",
        "Lucida Handwriting Italic",
        "Lucida Sans Unicode",
        "Modern",
        "OCR A Extended",
        "Symbol",
        "Tahoma",
        "Tempus Sans ITC",
        "Westminster",
        "Book Antiqua",
        "Impact",
    };
    for (int row = 0; row < FONT_TABLE_SIZE; ++row) {
        ASSERT_NE(fontFaces[row], nullptr) << "row " << row;
        if (expected[row]) {
            EXPECT_STREQ(fontFaces[row], expected[row]) << "row " << row;
        }
    }
}

TEST(FontTable, JapaneseFacesAreShiftJis) {
    const std::string ms = Bytes({0x82, 0x6C, 0x82, 0x72, 0x20});  // "ＭＳ "
    const std::string gothic = Bytes({0x83, 0x53, 0x83, 0x56, 0x83, 0x62, 0x83, 0x4E});
    const std::string mincho = Bytes({0x96, 0xBE, 0x92, 0xA9});
    const std::string p = Bytes({0x82, 0x6F});  // "Ｐ"
    EXPECT_EQ(std::string(fontFaces[1]), ms + gothic);
    EXPECT_EQ(std::string(fontFaces[2]), ms + p + gothic);
    EXPECT_EQ(std::string(fontFaces[3]), ms + mincho);
    EXPECT_EQ(std::string(fontFaces[4]), ms + p + mincho);
}

TEST(FontTable, EveryFaceFitsAFaceNameField) {
    // A face name field holds 32 bytes with its NUL; a longer name is cut.
    for (int row = 0; row < FONT_TABLE_SIZE; ++row) {
        EXPECT_GT(strlen(fontFaces[row]), 0u) << "row " << row;
        EXPECT_LT(strlen(fontFaces[row]), 32u) << "row " << row;
    }
}
