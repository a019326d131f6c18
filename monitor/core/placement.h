// Where the main window goes, and which context-menu items are usable:
// the drag, pin-to-bottom and 64-pixel rules, centring, and the menu enabling
// rules as plain arithmetic on screen pixels, free of Windows.
#pragma once
#include <stdint.h>

#define PLACE_BOTTOM_MARGIN 64  // an unpinned window's top stays this far above the screen bottom

struct PlaceRect {
    int32_t left, top, right, bottom;
};
struct PlacePoint {
    int32_t x, y;
};

// The drag offset taken when a press begins: cursor minus the window's
// top-left corner.
PlacePoint DragOffset(PlacePoint cursor, PlaceRect window);

// The window's new top-left corner while dragging: the left follows the
// cursor; the top sits the window's bottom edge on the screen bottom when
// pinned, otherwise follows the cursor but never lower than screenHeight - 64.
PlacePoint DragTarget(PlacePoint cursor, PlacePoint offset, PlaceRect window, int32_t screenHeight, bool pinToBottom);

// Centring: horizontally centred; vertically pinned to the bottom or centred.
PlacePoint CentreTarget(PlaceRect window, int32_t screenWidth, int32_t screenHeight, bool pinToBottom);

// What a context menu shows. The selection items exist in the pane's menu only.
struct MenuEnabling {
    bool memoryEnabled;     // "show memory": greyed while the memory window is open
    bool logChecked;        // "log file": check mark while logging is on
    bool selectAllEnabled;  // pane menu: greyed when the pane holds no text
    bool copyEnabled;       // pane menu: greyed with no text or an empty selection
};
MenuEnabling ContextMenuEnabling(bool memoryOpen, bool logOn, int32_t textLength, uint32_t selectionStart,
                                 uint32_t selectionEnd);

// A settings flag inverted the way the program writes flags: any non-zero
// byte is on and becomes 0; 0 becomes 1.
uint8_t InvertFlag(uint8_t flag);
