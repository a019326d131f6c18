// Driver commands for the skin maker's tests: placing its windows and reading
// the message boxes that its dialogs own (a file dialog, which also holds
// static controls, is told apart by its file-name control).
#include "driver.h"
#include <stdio.h>

static const int kFileNameControl = 0x47c;

DRIVER_COMMAND(MoveWindowCommand, "move-window", "HWND X Y (keeps the size and z-order)") {
    Args pos = Positional(args);
    int64_t x, y;
    if (pos.size() < 3 || !ParseNumber(pos[1], &x) || !ParseNumber(pos[2], &y)) return DRIVER_USAGE;
    HWND window = ParseWindow(pos[0]);
    if (!window || !IsWindow(window)) return DRIVER_USAGE;
    UINT flags = SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE;
    return SetWindowPos(window, nullptr, (int)x, (int)y, 0, 0, flags) ? DRIVER_OK : DRIVER_FAILED;
}

static HWND FindOwnedMessageBox(HWND owner) {
    DWORD pid = 0;
    GetWindowThreadProcessId(owner, &pid);
    for (HWND window : FindTopWindows("#32770", nullptr, pid)) {
        if (GetWindow(window, GW_OWNER) != owner || !IsWindowVisible(window)) continue;
        if (GetDlgItem(window, 0xFFFF) && !GetDlgItem(window, kFileNameControl)) return window;
    }
    return nullptr;
}

DRIVER_COMMAND(OwnedBoxCommand, "owned-box", "OWNER [--timeout MS] (hwnd, caption, text of its message box)") {
    Args pos = Positional(args);
    if (pos.empty()) return DRIVER_USAGE;
    HWND owner = ParseWindow(pos[0]);
    if (!owner || !IsWindow(owner)) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", 5000);
    HWND box = nullptr;
    if (!WaitFor(timeout, [&] { return (box = FindOwnedMessageBox(owner)) != nullptr; })) return DRIVER_TIMEOUT;
    std::string caption, text;
    ReadWindowText(box, &caption);
    ReadWindowText(GetDlgItem(box, 0xFFFF), &text);
    printf("%s\n", FormatWindow(box).c_str());
    PrintBytes(caption + "\n" + text + "\n");
    return DRIVER_OK;
}
