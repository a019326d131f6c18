// Placement arithmetic of the main window and the context-menu rules. Sums
// are taken in 64 bits and saturated, so odd coordinates from the system
// cannot overflow.
#include "placement.h"

static int32_t Saturate(int64_t value) {
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return (int32_t)value;
}

PlacePoint DragOffset(PlacePoint cursor, PlaceRect window) {
    PlacePoint offset = {Saturate((int64_t)cursor.x - window.left), Saturate((int64_t)cursor.y - window.top)};
    return offset;
}

PlacePoint DragTarget(PlacePoint cursor, PlacePoint offset, PlaceRect window, int32_t screenHeight, bool pinToBottom) {
    PlacePoint target;
    target.x = Saturate((int64_t)cursor.x - offset.x);
    if (pinToBottom) {
        target.y = Saturate((int64_t)screenHeight - ((int64_t)window.bottom - window.top));
    } else {
        int64_t top = (int64_t)cursor.y - offset.y;
        int64_t lowest = (int64_t)screenHeight - PLACE_BOTTOM_MARGIN;
        target.y = Saturate(top > lowest ? lowest : top);
    }
    return target;
}

PlacePoint CentreTarget(PlaceRect window, int32_t screenWidth, int32_t screenHeight, bool pinToBottom) {
    int64_t width = (int64_t)window.right - window.left;
    int64_t height = (int64_t)window.bottom - window.top;
    PlacePoint target;
    target.x = Saturate(((int64_t)screenWidth - width) / 2);
    target.y = Saturate(pinToBottom ? (int64_t)screenHeight - height : ((int64_t)screenHeight - height) / 2);
    return target;
}

MenuEnabling ContextMenuEnabling(bool memoryOpen, bool logOn, int32_t textLength, uint32_t selectionStart,
                                 uint32_t selectionEnd) {
    MenuEnabling menu;
    menu.memoryEnabled = !memoryOpen;
    menu.logChecked = logOn;
    menu.selectAllEnabled = textLength > 0;
    menu.copyEnabled = textLength > 0 && selectionStart != selectionEnd;
    return menu;
}

uint8_t InvertFlag(uint8_t flag) {
    return flag ? 0 : 1;
}
