// The settings block's defaults and the repairs that make a block read from
// sys.ini safe to use: every string ends inside its field and the font index
// stays inside the font table.
#include "settings.h"
#include <string.h>

static const char defaultRemotePc[] = ".";
static const char defaultSlotName[] = "dout";

void SetDefaultSettings(SettingsBlock* block) {
    memset(block, 0, sizeof *block);
    memcpy(block->remotePc, defaultRemotePc, sizeof defaultRemotePc);
    memcpy(block->slotName, defaultSlotName, sizeof defaultSlotName);
    block->fontIndex = 0;
    block->fontHeight = 12;
    block->pollPeriod = 100;
    block->textColor = 0x00000000;
    block->vScrollBar = 0;
    block->hScrollBar = 0;
    block->alwaysOnTop = 1;
    block->pinToBottom = 1;
    block->logToFile = 0;
}

// A field with no NUL inside its width gets its default, zero-filled behind.
static bool RepairString(char* field, size_t width, const char* fallback) {
    if (memchr(field, 0, width)) return false;
    memset(field, 0, width);
    strcpy(field, fallback);
    return true;
}

bool RepairSettings(SettingsBlock* block) {
    bool repaired = false;
    repaired |= RepairString(block->skinPath, sizeof block->skinPath, "");
    repaired |= RepairString(block->remotePc, sizeof block->remotePc, defaultRemotePc);
    repaired |= RepairString(block->slotName, sizeof block->slotName, defaultSlotName);
    if ((block->fontIndex & 0xFF) >= FONT_TABLE_SIZE) {
        block->fontIndex &= 0xFFFFFF00u;
        repaired = true;
    }
    return repaired;
}

int FontRow(const SettingsBlock* block) {
    int row = (int)(block->fontIndex & 0xFF);
    return row < FONT_TABLE_SIZE ? row : 0;
}
