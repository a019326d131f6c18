// Placement of the main window (drag, pin to bottom, 64-pixel rule, centre)
// and the context-menu enabling rules.
#include <gtest/gtest.h>
#include "placement.h"

namespace {
const int32_t screenW = 1280, screenH = 1024;
const PlaceRect skin = {100, 200, 500, 536};  // 400 x 336
}  // namespace

TEST(Drag, OffsetIsCursorMinusTopLeft) {
    PlacePoint offset = DragOffset({130, 250}, skin);
    EXPECT_EQ(offset.x, 30);
    EXPECT_EQ(offset.y, 50);
}

TEST(Drag, PinnedMovesOnlySideways) {
    PlacePoint offset = DragOffset({130, 250}, skin);
    for (int32_t cursorY : {-500, 0, 250, 900, 5000}) {
        PlacePoint target = DragTarget({430, cursorY}, offset, skin, screenH, true);
        EXPECT_EQ(target.x, 400);
        EXPECT_EQ(target.y, screenH - 336);
    }
}

TEST(Drag, UnpinnedStopsSixtyFourAboveTheBottomAndIsFreeElsewhere) {
    PlacePoint offset = DragOffset({130, 250}, skin);
    EXPECT_EQ(DragTarget({130, 2000}, offset, skin, screenH, false).y, screenH - 64);
    EXPECT_EQ(DragTarget({130, screenH - 64 + 50}, offset, skin, screenH, false).y, screenH - 64);
    EXPECT_EQ(DragTarget({130, screenH - 64 + 49}, offset, skin, screenH, false).y, screenH - 65);
    PlacePoint up = DragTarget({-700, -300}, offset, skin, screenH, false);
    EXPECT_EQ(up.x, -730);
    EXPECT_EQ(up.y, -350);
    EXPECT_EQ(DragTarget({3000, 250}, offset, skin, screenH, false).x, 2970);
}

TEST(Drag, RefreshWithoutMovementKeepsTheLeftAndAppliesTheRules) {
    // The placement refresh is a press, move and release at one cursor position.
    PlacePoint cursor = {777, 3};
    PlacePoint offset = DragOffset(cursor, skin);
    PlacePoint pinned = DragTarget(cursor, offset, skin, screenH, true);
    EXPECT_EQ(pinned.x, skin.left);
    EXPECT_EQ(pinned.y + 336, screenH);
    PlacePoint free = DragTarget(cursor, offset, skin, screenH, false);
    EXPECT_EQ(free.x, skin.left);
    EXPECT_EQ(free.y, skin.top);
    PlaceRect low = {100, 990, 500, 1326};
    PlacePoint lifted = DragTarget(cursor, DragOffset(cursor, low), low, screenH, false);
    EXPECT_EQ(lifted.x, 100);
    EXPECT_EQ(lifted.y, screenH - 64);
}

TEST(Drag, ExtremeCoordinatesSaturateInsteadOfOverflowing) {
    PlaceRect odd = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    PlacePoint offset = DragOffset({INT32_MAX, INT32_MAX}, odd);
    EXPECT_EQ(offset.x, INT32_MAX);
    PlacePoint target = DragTarget({INT32_MIN, INT32_MIN}, offset, odd, screenH, true);
    EXPECT_EQ(target.x, INT32_MIN);
    EXPECT_EQ(target.y, INT32_MIN);
}

TEST(Centre, PinnedSitsOnTheBottomOtherwiseCentred) {
    PlacePoint pinned = CentreTarget(skin, screenW, screenH, true);
    EXPECT_EQ(pinned.x, 440);
    EXPECT_EQ(pinned.y, screenH - 336);
    PlacePoint free = CentreTarget(skin, screenW, screenH, false);
    EXPECT_EQ(free.x, 440);
    EXPECT_EQ(free.y, 344);
    PlaceRect odd = {0, 0, 401, 337};
    EXPECT_EQ(CentreTarget(odd, screenW, screenH, false).x, 439);  // 879 / 2 drops the half
    EXPECT_EQ(CentreTarget(odd, screenW, screenH, false).y, 343);
    PlaceRect wide = {0, 0, 1283, 10};
    EXPECT_EQ(CentreTarget(wide, screenW, screenH, false).x, -1);  // -3 / 2 truncates toward zero
}

TEST(ContextMenu, SelectionItemsFollowTextAndSelection) {
    MenuEnabling empty = ContextMenuEnabling(false, false, 0, 0, 0);
    EXPECT_FALSE(empty.selectAllEnabled);
    EXPECT_FALSE(empty.copyEnabled);
    MenuEnabling caret = ContextMenuEnabling(false, false, 12, 4, 4);
    EXPECT_TRUE(caret.selectAllEnabled);
    EXPECT_FALSE(caret.copyEnabled);
    MenuEnabling selected = ContextMenuEnabling(false, false, 12, 2, 9);
    EXPECT_TRUE(selected.selectAllEnabled);
    EXPECT_TRUE(selected.copyEnabled);
    MenuEnabling stale = ContextMenuEnabling(false, false, 0, 2, 9);  // a selection cannot outlive the text
    EXPECT_FALSE(stale.copyEnabled);
}

TEST(ContextMenu, MemoryItemGreyedWhileOpenAndLogChecked) {
    MenuEnabling open = ContextMenuEnabling(true, true, 0, 0, 0);
    EXPECT_FALSE(open.memoryEnabled);
    EXPECT_TRUE(open.logChecked);
    MenuEnabling closed = ContextMenuEnabling(false, false, 0, 0, 0);
    EXPECT_TRUE(closed.memoryEnabled);
    EXPECT_FALSE(closed.logChecked);
}

TEST(Flags, InvertWritesOnlyZeroOrOne) {
    EXPECT_EQ(InvertFlag(1), 0);
    EXPECT_EQ(InvertFlag(0), 1);
    EXPECT_EQ(InvertFlag(0x80), 0);
}
