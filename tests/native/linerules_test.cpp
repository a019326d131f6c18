// The writer-side line rules: which lines the patterns keep, and the clock
// time in front of a line.
#include <gtest/gtest.h>
#include "linerules.h"

static bool Passes(const char* include, const char* exclude, const std::string& line) {
    LineRules rules;
    AddPatterns(include, &rules.include);
    AddPatterns(exclude, &rules.exclude);
    return LinePasses(rules, line.data(), line.size());
}

TEST(LineRules, PatternsMatchAnywhereByWholeCharactersWithoutCase) {
    EXPECT_TRUE(Passes("", "", "anything at all\r\n"));  // no patterns: every line
    EXPECT_TRUE(Passes("error", "", "an ERROR here\r\n"));
    EXPECT_FALSE(Passes("error", "", "all fine\r\n"));
    EXPECT_TRUE(Passes("warn;error", "", "Warning: disk\r\n"));
    EXPECT_TRUE(Passes(";;err*disk;", "", "error on disk 2"));
    EXPECT_FALSE(Passes("err*disk", "", "disk error"));
    EXPECT_TRUE(Passes("a?c", "", "xxabcxx"));
    EXPECT_FALSE(Passes("abc?", "", "abc\r\n"));  // the line end is not seen
    EXPECT_FALSE(Passes("error", "noisy", "noisy error\r\n"));
    EXPECT_TRUE(Passes("error", "noisy", "real error\r\n"));

    // "ソ" is 83 5C and "表" 95 5C: '\' never matches their second byte, and
    // '?' takes a two-byte character whole.
    EXPECT_FALSE(Passes("\\", "", "ソ表"));
    EXPECT_TRUE(Passes("\\", "", "ソ\\"));
    EXPECT_TRUE(Passes("ソ", "", "xソx"));
    EXPECT_TRUE(Passes("a?b", "", "a表b"));
    EXPECT_FALSE(Passes("a??b", "", "a表b"));
    EXPECT_FALSE(Passes("\\", "ソ", "ソ\\"));      // excluded all the same
    EXPECT_FALSE(Passes("\x83", "", "\x83\x5C"));  // a lead byte alone in a pattern

    // Whole-name matching, as for executable names.
    EXPECT_TRUE(MatchesPattern("tool*.exe", "Tool2.EXE", 9, false));
    EXPECT_FALSE(MatchesPattern("app.exe", "myapp.exe", 9, false));
    EXPECT_TRUE(MatchesPattern("app.exe", "myapp.exe", 9, true));
}

TEST(LineRules, ClockTimeAndOptions) {
    std::string out = "x";
    AppendClockTime(ClockTime{9, 5, 7, 42}, &out);
    EXPECT_EQ(out, "x09:05:07.042 ");

    const char* argv[] = {"tool", "--include", "a;b", "--time", "--exclude", "c", "--other", "--include"};
    int argc = 8;
    LineRules rules;
    int i = 1;
    EXPECT_EQ(TakeLineRuleOption(argc, (char**)argv, &i, &rules), 1);
    EXPECT_EQ(i, 2);
    for (i = 3; i < 6; ++i) EXPECT_EQ(TakeLineRuleOption(argc, (char**)argv, &i, &rules), 1);
    EXPECT_EQ(TakeLineRuleOption(argc, (char**)argv, &i, &rules), 0);
    i = 7;
    EXPECT_EQ(TakeLineRuleOption(argc, (char**)argv, &i, &rules), -1);
    EXPECT_EQ(rules.include, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(rules.exclude, (std::vector<std::string>{"c"}));
    EXPECT_TRUE(rules.time);
}
