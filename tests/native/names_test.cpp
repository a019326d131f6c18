// Names of the monitor's files and mailslot: the module-directory join (with
// Shift-JIS trail bytes that look like backslashes) and its refusal to
// overflow, and the mailslot name format.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include "names.h"

namespace {

std::string Join(const std::string& module, const char* name, const char* ext, size_t size = MODULE_PATH_SIZE,
                 bool* ok = nullptr) {
    char out[2048];
    memset(out, 'X', sizeof out);
    bool done = JoinModulePath(module.c_str(), name, ext, IsShiftJisLeadByte, out, size);
    if (ok) *ok = done;
    EXPECT_EQ(out[size], 'X') << "wrote past the buffer";
    return out;
}

TEST(ModulePath, FileLandsBesideTheExecutable) {
    EXPECT_EQ(Join("C:\\Program Files\\Tovrel\\monitor.exe", "sys", "ini"), "C:\\Program Files\\Tovrel\\sys.ini");
    EXPECT_EQ(Join("Z:\\tmp\\x\\monitor.exe", "log", "txt"), "Z:\\tmp\\x\\log.txt");
    EXPECT_EQ(Join("\\\\server\\share\\monitor.exe", "sys", "ini"), "\\\\server\\share\\sys.ini");
    EXPECT_EQ(Join("C:monitor.exe", "sys", "ini"), "C:sys.ini");
    EXPECT_EQ(Join("monitor.exe", "sys", "ini"), "sys.ini");
}

TEST(ModulePath, ShiftJisTrailBytesAreNotSeparators) {
    // 表 is 95 5C and ソ is 83 5C: the second byte equals a backslash.
    const std::string hyo = "\x95\x5C", so = "\x83\x5C";
    EXPECT_EQ(Join("C:\\" + hyo + "\\" + so + ".exe", "sys", "ini"), "C:\\" + hyo + "\\sys.ini");
    EXPECT_EQ(Join("C:\\dir" + so + "\\a" + hyo + ".exe", "log", "txt"), "C:\\dir" + so + "\\log.txt");
}

TEST(ModulePath, TooLongIsRefusedWithoutOverflow) {
    // Directory of 250 bytes: "sys.ini" would need 258 bytes with the NUL.
    std::string directory = "C:\\" + std::string(246, 'd') + "\\";
    ASSERT_EQ(directory.size(), 250u);
    bool ok = false;
    EXPECT_EQ(Join(directory + "m.exe", "sys", "ini", 258, &ok), directory + "sys.ini");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Join(directory + "m.exe", "sys", "ini", 257, &ok), "");
    EXPECT_FALSE(ok);
    std::string longer = "C:\\" + std::string(300, 'd') + "\\m.exe";
    EXPECT_EQ(Join(longer, "log", "txt", MODULE_PATH_SIZE, &ok), "");
    EXPECT_FALSE(ok);
}

TEST(MailslotName, DefaultsGiveTheLocalSlot) {
    char out[MAILSLOT_NAME_SIZE];
    ASSERT_TRUE(FormatMailslotName(".", "dout", out, sizeof out));
    EXPECT_STREQ(out, "\\\\.\\mailslot\\dout");
    ASSERT_TRUE(FormatMailslotName("PC7", "a\\b", out, sizeof out));
    EXPECT_STREQ(out, "\\\\PC7\\mailslot\\a\\b");
}

TEST(MailslotName, LongestNamesFitAndOversizeIsRefused) {
    char out[MAILSLOT_NAME_SIZE];
    std::string pc(63, 'p'), slot(63, 's');
    ASSERT_TRUE(FormatMailslotName(pc.c_str(), slot.c_str(), out, sizeof out));
    EXPECT_EQ(strlen(out), 2 + 63 + 10 + 63u);
    char small[16];
    memset(small, 'X', sizeof small);
    EXPECT_FALSE(FormatMailslotName(".", "longer-than-this", small, sizeof small));
    EXPECT_STREQ(small, "");
}

// The settings dialog's 63-byte name fields and the skin title's 31 bytes
// are cut by this rule.
TEST(WholeCharPrefix, CutsAtTheLimitWithoutSplittingACharacter) {
    std::string ascii(70, 'a');
    EXPECT_EQ(WholeCharPrefix(ascii.data(), ascii.size(), 63, IsShiftJisLeadByte), 63u);
    std::string wide = std::string(62, 'a') + "\x82\xa0" + "b";  // a two-byte character across byte 63
    EXPECT_EQ(WholeCharPrefix(wide.data(), wide.size(), 63, IsShiftJisLeadByte), 62u);
    EXPECT_EQ(WholeCharPrefix(wide.data(), wide.size(), 64, IsShiftJisLeadByte), 64u);
    std::string dangling = "ab\x82";
    EXPECT_EQ(WholeCharPrefix(dangling.data(), dangling.size(), 63, IsShiftJisLeadByte), 2u);
    std::string trail = "\x82\x5c\x5c";  // a trail byte equal to '\\' belongs to its character
    EXPECT_EQ(WholeCharPrefix(trail.data(), trail.size(), 2, IsShiftJisLeadByte), 2u);
    EXPECT_EQ(WholeCharPrefix(trail.data(), trail.size(), 1, IsShiftJisLeadByte), 0u);
    auto noLeads = [](unsigned char) { return false; };
    EXPECT_EQ(WholeCharPrefix(wide.data(), wide.size(), 63, noLeads), 63u);
}

}  // namespace
