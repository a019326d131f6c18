// Skin titles between a UTF-8 terminal and the CP932 a record holds. The
// UTF-8 texts are u8 literals: plain ones are compiled to CP932.
#include <gtest/gtest.h>
#include "titletext.h"

TEST(TitleText, TypedTitlesBecomeShiftJisOrAClearRefusal) {
    std::string cp932;
    EXPECT_EQ(TitleToCp932(u8"テスト", "UTF-8", &cp932), TITLE_OK);
    EXPECT_EQ(cp932, "\x83\x65\x83\x58\x83\x67");
    EXPECT_EQ(TitleToCp932(u8"表示ソ", "UTF-8", &cp932), TITLE_OK);
    EXPECT_EQ(cp932, "\x95\x5C\x8E\xA6\x83\x5C") << "second bytes of 0x5C survive";
    EXPECT_EQ(TitleToCp932(std::string(31, 'T'), "UTF-8", &cp932), TITLE_OK);
    EXPECT_EQ(TitleToCp932(std::string(32, 'T'), "UTF-8", &cp932), TITLE_TOO_LONG);
    EXPECT_EQ(TitleToCp932(u8"ぬぬぬぬぬぬぬぬぬぬぬぬぬぬぬぬ", "UTF-8", &cp932), TITLE_TOO_LONG) << "16 x 2 bytes";
    EXPECT_EQ(TitleToCp932("smile \xF0\x9F\x98\x80", "UTF-8", &cp932), TITLE_NOT_IN_CP932);
    EXPECT_EQ(TitleToCp932("cut \xE3\x83", "UTF-8", &cp932), TITLE_NOT_IN_CODESET);
    EXPECT_EQ(TitleToCp932("\xE9t\xE9", "ISO-8859-1", &cp932), TITLE_NOT_IN_CP932) << "e-acute has no CP932 code";
    EXPECT_EQ(TitleToCp932("caf\xC3\xA9", "ANSI_X3.4-1968", &cp932), TITLE_NOT_IN_CODESET);
}

TEST(TitleText, RecordTitlesShowInTheTerminalsEncodingOnOneLine) {
    const char title[] = "\x82\xCA\x82\xD8\x82\xEB";  // ぬぺろ
    EXPECT_EQ(TitleForTerminal(title, 6, "UTF-8"), u8"ぬぺろ");
    EXPECT_EQ(TitleForTerminal(title, 6, "ANSI_X3.4-1968"), "\\x82\\xCA\\x82\\xD8\\x82\\xEB");
    EXPECT_EQ(TitleForTerminal("a\nb\\c\x7F", 6, "UTF-8"), "a\\x0Ab\\x5Cc\\x7F");
    EXPECT_EQ(TitleForTerminal("\x83\x5C\x95\x5C\\", 5, "UTF-8"), u8"ソ表\\x5C")
        << "0x5C after a lead byte is no backslash";
    EXPECT_EQ(TitleForTerminal("\x83\n", 2, "UTF-8"), "\\x83\\x0A") << "a lead byte before a control byte";
    EXPECT_EQ(TitleForTerminal("ok\x82", 3, "UTF-8"), "ok\\x82") << "half a character at the end";
    EXPECT_EQ(TitleForTerminal("\x85\x40x", 3, "UTF-8"), "\\x85@x") << "an unassigned code";
}
