// The 23 face names the pane font is chosen from, in Shift-JIS on Windows.
#pragma once
#include "settings.h"

extern const char* const fontFaces[FONT_TABLE_SIZE];
