// The settings block: the monitor's whole configuration, 412 bytes stored byte
// for byte in sys.ini beside the executable. Portable: no Windows needed.
#pragma once
#include <stddef.h>
#include <stdint.h>

#define SETTINGS_PATH_SIZE 260
#define SETTINGS_NAME_SIZE 64
#define FONT_TABLE_SIZE    23

#pragma pack(push, 1)
struct SettingsBlock {
    char skinPath[SETTINGS_PATH_SIZE];  // 0: applied skin file; empty = default skin
    char remotePc[SETTINGS_NAME_SIZE];  // 260: computer part of the mailslot name
    char slotName[SETTINGS_NAME_SIZE];  // 324: last part of the mailslot name
    uint32_t fontIndex;                 // 388: only the low byte is used
    int32_t fontHeight;                 // 392
    uint32_t pollPeriod;                // 396: milliseconds
    uint32_t textColor;                 // 400: COLORREF
    uint8_t vScrollBar;                 // 404: flags, non-zero = on
    uint8_t hScrollBar;                 // 405
    uint8_t alwaysOnTop;                // 406
    uint8_t pinToBottom;                // 407
    uint8_t logToFile;                  // 408
    uint8_t reserved[3];                // 409: carried through unchanged
};
#pragma pack(pop)
static_assert(sizeof(SettingsBlock) == 412, "sys.ini holds exactly 412 bytes");
static_assert(offsetof(SettingsBlock, fontIndex) == 388, "sys.ini layout");
static_assert(offsetof(SettingsBlock, vScrollBar) == 404, "sys.ini layout");

// Fills the block with the values the program starts with.
void SetDefaultSettings(SettingsBlock* block);

// Makes a block read from disk safe to use without changing anything sound:
// a string field with no NUL inside its width falls back to its default, and
// a font index whose low byte is past the font table falls back to row 0
// (the upper three bytes are kept). Returns true when something was repaired.
bool RepairSettings(SettingsBlock* block);

// The font table row the block selects (the low byte of the font index,
// within 0..FONT_TABLE_SIZE-1 once repaired).
int FontRow(const SettingsBlock* block);
