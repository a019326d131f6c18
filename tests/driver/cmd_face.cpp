// Driver commands for the monitor's face and hands: the menu resources as
// compiled into an executable, the open pop-up menu, the clipboard and the
// z-order between two windows.
#include "driver.h"
#include <stdio.h>

static const DWORD kFaceTimeout = 5000;

static void PrintHex(const char* text, int length) {
    for (int i = 0; i < length; ++i) printf("%02x", (unsigned char)text[i]);
}

// Loads the menu resource straight from the file, so what is checked is the
// compiled resource rather than what a running program shows.
DRIVER_COMMAND(MenuResourceCommand, "menu-resource",
               "EXE ID (first pop-up: one line per item, id, string|separator, text as hex bytes)") {
    Args pos = Positional(args);
    int64_t id;
    if (pos.size() != 2 || !ParseNumber(pos[1], &id)) return DRIVER_USAGE;
    HMODULE module = LoadLibraryExA(pos[0].c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        printf("cannot load %s\n", pos[0].c_str());
        return DRIVER_FAILED;
    }
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA((WORD)id));
    HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
    if (!popup) {
        if (menu) DestroyMenu(menu);
        FreeLibrary(module);
        printf("no menu %d\n", (int)id);
        return DRIVER_FAILED;
    }
    printf("toplevel=%d\n", GetMenuItemCount(menu));
    int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_STATE;
        item.dwTypeData = text;
        item.cch = sizeof text;
        if (!GetMenuItemInfoA(popup, (UINT)i, TRUE, &item)) {
            printf("item %d unreadable\n", i);
            continue;
        }
        bool separator = (item.fType & MFT_SEPARATOR) != 0;
        printf("%u\t%s\t%u\t", item.wID, separator ? "separator" : "string", item.fState);
        if (!separator) PrintHex(text, (int)item.cch);
        printf("\n");
    }
    DestroyMenu(menu);
    FreeLibrary(module);
    return DRIVER_OK;
}

static HWND VisiblePopupMenu() {
    for (HWND window : FindTopWindows("#32768", nullptr, 0)) {
        if (IsWindowVisible(window)) return window;
    }
    return nullptr;
}

DRIVER_COMMAND(PopupMenuCommand, "popup-menu", "[--timeout MS] (hwnd and screen rect of the shown pop-up menu)") {
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kFaceTimeout);
    HWND popup = nullptr;
    if (!WaitFor(timeout, [&] { return (popup = VisiblePopupMenu()) != nullptr; })) return DRIVER_TIMEOUT;
    RECT rect;
    GetWindowRect(popup, &rect);
    printf("%s\n%ld %ld %ld %ld\n", FormatWindow(popup).c_str(), rect.left, rect.top, rect.right, rect.bottom);
    return DRIVER_OK;
}

DRIVER_COMMAND(PopupGoneCommand, "popup-gone", "[--timeout MS] (waits until no pop-up menu shows)") {
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kFaceTimeout);
    return WaitFor(timeout, [] { return VisiblePopupMenu() == nullptr; }) ? DRIVER_OK : DRIVER_TIMEOUT;
}

DRIVER_COMMAND(ClipboardCommand, "clipboard", "(CF_TEXT on the clipboard, raw bytes; fails when none)") {
    (void)args;
    if (!OpenClipboard(nullptr)) return DRIVER_FAILED;
    HANDLE data = GetClipboardData(CF_TEXT);
    const char* text = data ? static_cast<const char*>(GlobalLock(data)) : nullptr;
    if (text) {
        PrintBytes(std::string(text));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text ? DRIVER_OK : DRIVER_FAILED;
}

DRIVER_COMMAND(ClipboardClearCommand, "clipboard-clear", "(empties the clipboard)") {
    (void)args;
    if (!OpenClipboard(nullptr)) return DRIVER_FAILED;
    BOOL emptied = EmptyClipboard();
    CloseClipboard();
    return emptied ? DRIVER_OK : DRIVER_FAILED;
}

// Where B lies relative to A among the top-level windows.
DRIVER_COMMAND(ZOrderCommand, "zorder", "A B (prints 'above' when A is above B, 'below' otherwise)") {
    Args pos = Positional(args);
    if (pos.size() != 2) return DRIVER_USAGE;
    HWND a = ParseWindow(pos[0]), b = ParseWindow(pos[1]);
    if (!a || !b || !IsWindow(a) || !IsWindow(b) || a == b) return DRIVER_USAGE;
    for (HWND next = GetWindow(a, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT)) {
        if (next == b) {
            printf("above\n");
            return DRIVER_OK;
        }
    }
    printf("below\n");
    return DRIVER_OK;
}
