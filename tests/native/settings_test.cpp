// The settings block: its on-disk layout, the start-up defaults, what a short
// or long sys.ini supplies, and the repairs of fields that would otherwise be
// read past their end.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "fonttable.h"
#include "settings.h"
#include "bytes.h"

namespace {

std::vector<unsigned char> Bytes(const SettingsBlock& block) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&block);
    return std::vector<unsigned char>(p, p + sizeof block);
}

uint32_t Le32(const std::vector<unsigned char>& b, size_t at) {
    return GetLe32(&b[at]);
}

// What reading `file` over the block at start-up gives: the leading bytes
// replace the defaults, the rest stays, then the repairs.
SettingsBlock ReadOver(const std::vector<unsigned char>& file) {
    SettingsBlock block;
    SetDefaultSettings(&block);
    memcpy(&block, file.data(), file.size() < sizeof block ? file.size() : sizeof block);
    RepairSettings(&block);
    return block;
}

TEST(Settings, DefaultsSitAtTheirFileOffsets) {
    SettingsBlock block;
    memset(&block, 0xAB, sizeof block);
    SetDefaultSettings(&block);
    std::vector<unsigned char> b = Bytes(block);
    ASSERT_EQ(b.size(), 412u);
    for (size_t i = 0; i < 260; ++i) ASSERT_EQ(b[i], 0) << "skin path byte " << i;
    EXPECT_EQ(std::string((const char*)&b[260]), ".");
    EXPECT_EQ(std::string((const char*)&b[324]), "dout");
    for (size_t i = 262; i < 324; ++i) ASSERT_EQ(b[i], 0) << i;
    for (size_t i = 329; i < 388; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_EQ(Le32(b, 388), 0u);
    EXPECT_EQ(Le32(b, 392), 12u);
    EXPECT_EQ(Le32(b, 396), 100u);
    EXPECT_EQ(Le32(b, 400), 0u);
    const unsigned char flags[] = {0, 0, 1, 1, 0, 0, 0, 0};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(b[404 + i], flags[i]) << "byte " << 404 + i;
    EXPECT_FALSE(RepairSettings(&block)) << "the defaults need no repair";
}

TEST(Settings, ShortFileSuppliesOnlyTheFieldsItCovers) {
    std::vector<unsigned char> file(300, 'x');
    file[10] = 0;  // skin path "xxxxxxxxxx"
    SettingsBlock block = ReadOver(file);
    EXPECT_STREQ(block.skinPath, "xxxxxxxxxx");
    // The first 40 remote-name bytes come from the file, the rest of the field
    // keeps the default's zero bytes, which end the string.
    EXPECT_EQ(std::string(block.remotePc), std::string(40, 'x'));
    EXPECT_STREQ(block.slotName, "dout");
    EXPECT_EQ(block.fontHeight, 12);
    EXPECT_EQ(block.pollPeriod, 100u);
    EXPECT_EQ(block.alwaysOnTop, 1);
    EXPECT_EQ(block.pinToBottom, 1);
}

TEST(Settings, SoundFileIsTakenAsItStands) {
    SettingsBlock wanted;
    SetDefaultSettings(&wanted);
    strcpy(wanted.skinPath, "C:\\skins\\blue.msk");
    strcpy(wanted.remotePc, "HOST");
    strcpy(wanted.slotName, "other");
    wanted.slotName[20] = 'q';      // bytes after the NUL carry no meaning
    wanted.fontIndex = 0x77665516;  // row 22; upper bytes carried through
    wanted.fontHeight = -40;
    wanted.pollPeriod = 5000;
    wanted.textColor = 0x00123456;
    wanted.alwaysOnTop = 0;
    wanted.logToFile = 7;
    wanted.reserved[0] = 9;
    std::vector<unsigned char> file = Bytes(wanted);
    file.resize(1000, 0xEE);  // a longer file: only 412 bytes count
    SettingsBlock block = ReadOver(file);
    EXPECT_EQ(Bytes(block), Bytes(wanted));
    EXPECT_EQ(FontRow(&block), 22);
}

TEST(Settings, UnterminatedStringsFallBackToTheirDefaults) {
    SettingsBlock block;
    SetDefaultSettings(&block);
    memset(block.skinPath, 'p', sizeof block.skinPath);
    memset(block.remotePc, 'r', sizeof block.remotePc);
    memset(block.slotName, 's', sizeof block.slotName);
    block.fontHeight = 30;
    EXPECT_TRUE(RepairSettings(&block));
    EXPECT_STREQ(block.skinPath, "");
    EXPECT_STREQ(block.remotePc, ".");
    EXPECT_STREQ(block.slotName, "dout");
    EXPECT_EQ(block.fontHeight, 30) << "sound fields are left alone";
    // The whole field is clean again, not just its start.
    for (char c : block.remotePc)
        if (c == 'r') FAIL() << "old bytes left in the field";
}

TEST(Settings, OnlyTheUnterminatedFieldIsRepaired) {
    SettingsBlock block;
    SetDefaultSettings(&block);
    strcpy(block.remotePc, "PC1");
    memset(block.slotName, 'z', sizeof block.slotName);
    block.slotName[63] = 0;  // NUL on the last byte is inside the field
    EXPECT_FALSE(RepairSettings(&block));
    EXPECT_EQ(strlen(block.slotName), 63u);
    block.slotName[63] = 'z';
    EXPECT_TRUE(RepairSettings(&block));
    EXPECT_STREQ(block.remotePc, "PC1");
    EXPECT_STREQ(block.slotName, "dout");
}

TEST(Settings, FontIndexStaysInsideTheTable) {
    SettingsBlock block;
    SetDefaultSettings(&block);
    block.fontIndex = 0xA1B2C300 | 23;
    EXPECT_EQ(FontRow(&block), 0) << "never a row past the table, even unrepaired";
    EXPECT_TRUE(RepairSettings(&block));
    EXPECT_EQ(block.fontIndex, 0xA1B2C300u) << "low byte reset, upper bytes kept";
    block.fontIndex = 0xFF;
    EXPECT_TRUE(RepairSettings(&block));
    EXPECT_EQ(FontRow(&block), 0);
    // Only the low byte selects: large upper bytes are no reason to repair.
    block.fontIndex = 0x00FFFF00 | 5;
    EXPECT_FALSE(RepairSettings(&block));
    EXPECT_EQ(FontRow(&block), 5);
    EXPECT_NE(fontFaces[FontRow(&block)], nullptr);
}

}  // namespace
