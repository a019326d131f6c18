// Core driver commands: windows, texts, messages, processes, mailslots and
// window regions. What every area of the end-to-end tests needs.
#include "driver.h"
#include "filebytes.h"
#include <stdio.h>
#include <string.h>

static const DWORD kDefaultTimeout = 5000;

static bool NeedWindow(const Args& pos, size_t index, HWND* window) {
    if (pos.size() <= index) return false;
    *window = ParseWindow(pos[index]);
    return *window && IsWindow(*window);
}

static bool NeedNumber(const Args& pos, size_t index, int64_t* value) {
    return pos.size() > index && ParseNumber(pos[index], value);
}

DRIVER_COMMAND(FindWindowCommand, "find-window", "CLASS [--title T] [--pid P] [--timeout MS]") {
    Args pos = Positional(args);
    if (pos.empty()) return DRIVER_USAGE;
    std::string title = Option(args, "--title", "");
    bool byTitle = HasFlag(args, "--title");
    DWORD pid = (DWORD)NumberOption(args, "--pid", 0);
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kDefaultTimeout);
    std::vector<HWND> found;
    bool ok = WaitFor(timeout, [&] {
        found = FindTopWindows(pos[0] == "*" ? nullptr : pos[0].c_str(), byTitle ? title.c_str() : nullptr, pid);
        return !found.empty();
    });
    if (!ok) return DRIVER_TIMEOUT;
    for (HWND window : found) printf("%s\n", FormatWindow(window).c_str());
    return DRIVER_OK;
}

DRIVER_COMMAND(WindowInfoCommand, "window-info", "HWND") {
    HWND window;
    if (!NeedWindow(Positional(args), 0, &window)) return DRIVER_USAGE;
    RECT rect, client;
    GetWindowRect(window, &rect);
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char className[256] = "", title[512] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    printf("rect=%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    printf("client=%ld %ld\n", client.right - client.left, client.bottom - client.top);
    printf("clientorigin=%ld %ld\n", origin.x, origin.y);
    printf("style=0x%08lx\n", (unsigned long)GetWindowLongPtrA(window, GWL_STYLE));
    printf("exstyle=0x%08lx\n", (unsigned long)GetWindowLongPtrA(window, GWL_EXSTYLE));
    printf("visible=%d\n", IsWindowVisible(window) ? 1 : 0);
    printf("iconic=%d\n", IsIconic(window) ? 1 : 0);
    printf("enabled=%d\n", IsWindowEnabled(window) ? 1 : 0);
    printf("pid=%lu\n", (unsigned long)pid);
    printf("id=%ld\n", (long)GetWindowLongPtrA(window, GWLP_ID));
    printf("parent=%s\n", FormatWindow(GetParent(window)).c_str());
    printf("owner=%s\n", FormatWindow(GetWindow(window, GW_OWNER)).c_str());
    printf("class=%s\n", className);
    printf("title=%s\n", title);
    return DRIVER_OK;
}

DRIVER_COMMAND(GetTextCommand, "get-text", "HWND (raw ANSI bytes, whole text)") {
    HWND window;
    if (!NeedWindow(Positional(args), 0, &window)) return DRIVER_USAGE;
    std::string text;
    if (!ReadWindowText(window, &text)) return DRIVER_FAILED;
    PrintBytes(text);
    return DRIVER_OK;
}

DRIVER_COMMAND(SetTextCommand, "set-text", "HWND TEXT") {
    Args pos = Positional(args);
    HWND window;
    if (!NeedWindow(pos, 0, &window) || pos.size() < 2) return DRIVER_USAGE;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, WM_SETTEXT, 0, (LPARAM)pos[1].c_str(), SMTO_ABORTIFHUNG, kDefaultTimeout, &result))
        return DRIVER_FAILED;
    return result ? DRIVER_OK : DRIVER_FAILED;
}

// Messages whose parameters are plain numbers only: pointers do not cross
// processes (but for the few messages the system marshals, such as WM_SETTEXT).
struct MessageArgs {
    HWND window;
    int64_t message, wParam, lParam;
};

static bool NeedMessage(const Args& args, MessageArgs* m) {
    Args pos = Positional(args);
    return NeedWindow(pos, 0, &m->window) && NeedNumber(pos, 1, &m->message) && NeedNumber(pos, 2, &m->wParam) &&
           NeedNumber(pos, 3, &m->lParam);
}

DRIVER_COMMAND(SendCommand, "send", "HWND MSG WPARAM LPARAM [--timeout MS]") {
    MessageArgs m;
    if (!NeedMessage(args, &m)) return DRIVER_USAGE;
    DWORD_PTR result = 0;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kDefaultTimeout);
    if (!SendMessageTimeoutA(m.window, (UINT)m.message, (WPARAM)m.wParam, (LPARAM)m.lParam, SMTO_ABORTIFHUNG, timeout,
                             &result))
        return DRIVER_TIMEOUT;
    printf("%lld\n", (long long)(INT_PTR)result);
    return DRIVER_OK;
}

DRIVER_COMMAND(PostCommand, "post", "HWND MSG WPARAM LPARAM") {
    MessageArgs m;
    if (!NeedMessage(args, &m)) return DRIVER_USAGE;
    return PostMessageA(m.window, (UINT)m.message, (WPARAM)m.wParam, (LPARAM)m.lParam) ? DRIVER_OK : DRIVER_FAILED;
}

DRIVER_COMMAND(MenuCommand, "command", "HWND ID (posts WM_COMMAND)") {
    Args pos = Positional(args);
    HWND window;
    int64_t id;
    if (!NeedWindow(pos, 0, &window) || !NeedNumber(pos, 1, &id)) return DRIVER_USAGE;
    return PostMessageA(window, WM_COMMAND, MAKEWPARAM((WORD)id, 0), 0) ? DRIVER_OK : DRIVER_FAILED;
}

static BOOL CALLBACK PrintChild(HWND child, LPARAM) {
    char className[128] = "";
    GetClassNameA(child, className, sizeof className);
    RECT rect;
    GetWindowRect(child, &rect);
    std::string text;
    ReadWindowText(child, &text);
    if (text.size() > 200) text.resize(200);
    for (char& c : text)
        if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    printf("%ld\t%s\t%s\t%ld %ld %ld %ld\t%d\t%s\n", (long)GetWindowLongPtrA(child, GWLP_ID), className,
           FormatWindow(child).c_str(), rect.left, rect.top, rect.right, rect.bottom, IsWindowVisible(child) ? 1 : 0,
           text.c_str());
    return TRUE;
}

DRIVER_COMMAND(ChildrenCommand, "children", "HWND (id, class, hwnd, screen rect, visible, text per line)") {
    HWND window;
    if (!NeedWindow(Positional(args), 0, &window)) return DRIVER_USAGE;
    EnumChildWindows(window, PrintChild, 0);
    return DRIVER_OK;
}

DRIVER_COMMAND(DialogsCommand, "dialogs", "PID (top-level #32770 windows: hwnd, visible, title)") {
    Args pos = Positional(args);
    int64_t pid;
    if (!NeedNumber(pos, 0, &pid)) return DRIVER_USAGE;
    for (HWND window : FindTopWindows("#32770", nullptr, (DWORD)pid)) {
        char title[512] = "";
        GetWindowTextA(window, title, sizeof title);
        printf("%s\t%d\t%s\n", FormatWindow(window).c_str(), IsWindowVisible(window) ? 1 : 0, title);
    }
    return DRIVER_OK;
}

// A message box is a #32770 dialog whose text is the static control 0xFFFF.
static HWND FindMessageBox(DWORD pid) {
    for (HWND window : FindTopWindows("#32770", nullptr, pid)) {
        if (IsWindowVisible(window) && GetDlgItem(window, 0xFFFF)) return window;
    }
    return nullptr;
}

DRIVER_COMMAND(MessageBoxCommand, "msgbox", "PID [--timeout MS] (hwnd, caption, text on three lines)") {
    Args pos = Positional(args);
    int64_t pid;
    if (!NeedNumber(pos, 0, &pid)) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kDefaultTimeout);
    HWND box = nullptr;
    if (!WaitFor(timeout, [&] { return (box = FindMessageBox((DWORD)pid)) != nullptr; })) return DRIVER_TIMEOUT;
    char caption[512] = "";
    GetWindowTextA(box, caption, sizeof caption);
    std::string text;
    ReadWindowText(GetDlgItem(box, 0xFFFF), &text);
    printf("%s\n%s\n%s\n", FormatWindow(box).c_str(), caption, text.c_str());
    return DRIVER_OK;
}

// "HWND ID": a dialog and one of its controls.
static bool NeedControl(const Args& pos, HWND* control) {
    HWND window;
    int64_t id;
    if (!NeedWindow(pos, 0, &window) || !NeedNumber(pos, 1, &id)) return false;
    *control = GetDlgItem(window, (int)id);
    return true;
}

DRIVER_COMMAND(ClickCommand, "click", "HWND ID (posts BM_CLICK to the dialog's control)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    if (!control) return DRIVER_FAILED;
    return PostMessageA(control, BM_CLICK, 0, 0) ? DRIVER_OK : DRIVER_FAILED;
}

DRIVER_COMMAND(DialogTextCommand, "dlg-text", "HWND ID") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    std::string text;
    if (!control || !ReadWindowText(control, &text)) return DRIVER_FAILED;
    PrintBytes(text);
    return DRIVER_OK;
}

DRIVER_COMMAND(DialogSetTextCommand, "dlg-set-text", "HWND ID TEXT") {
    Args pos = Positional(args);
    HWND control;
    if (!NeedControl(pos, &control) || pos.size() < 3) return DRIVER_USAGE;
    DWORD_PTR result = 0;
    if (!control || !SendMessageTimeoutA(control, WM_SETTEXT, 0, (LPARAM)pos[2].c_str(), SMTO_ABORTIFHUNG,
                                         kDefaultTimeout, &result))
        return DRIVER_FAILED;
    return DRIVER_OK;
}

DRIVER_COMMAND(WaitExitCommand, "wait-exit", "PID [--timeout MS] (prints the exit code)") {
    Args pos = Positional(args);
    int64_t pid;
    if (!NeedNumber(pos, 0, &pid)) return DRIVER_USAGE;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, (DWORD)pid);
    if (!process) return DRIVER_FAILED;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kDefaultTimeout);
    DWORD waited = WaitForSingleObject(process, timeout);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    if (waited != WAIT_OBJECT_0) return DRIVER_TIMEOUT;
    printf("%lu\n", (unsigned long)code);
    return DRIVER_OK;
}

DRIVER_COMMAND(WaitGoneCommand, "wait-gone", "HWND [--timeout MS]") {
    Args pos = Positional(args);
    if (pos.empty()) return DRIVER_USAGE;
    HWND window = ParseWindow(pos[0]);
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", kDefaultTimeout);
    return WaitFor(timeout, [&] { return !IsWindow(window); }) ? DRIVER_OK : DRIVER_TIMEOUT;
}

// One message, written whole, as a writer program would.
DRIVER_COMMAND(MailslotWriteCommand, "mailslot-write", "NAME (TEXT | --hex HEX | --file PATH) [--count N]") {
    Args pos = Positional(args);
    if (pos.empty()) return DRIVER_USAGE;
    std::string message;
    if (HasFlag(args, "--hex")) {
        if (!DecodeHex(Option(args, "--hex", ""), &message)) return DRIVER_USAGE;
    } else if (HasFlag(args, "--file")) {
        if (ReadFileBytes(Option(args, "--file", "").c_str(), &message) != FILE_READ_OK) return DRIVER_FAILED;
    } else if (pos.size() >= 2) {
        message = pos[1];
    } else if (!HasFlag(args, "--empty")) {
        return DRIVER_USAGE;
    }
    HANDLE slot = CreateFileA(pos[0].c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        printf("cannot open %s (error %lu)\n", pos[0].c_str(), (unsigned long)GetLastError());
        return DRIVER_FAILED;
    }
    int64_t count = NumberOption(args, "--count", 1);
    bool ok = true;
    for (int64_t i = 0; i < count && ok; ++i) {
        DWORD written = 0;
        ok = WriteFile(slot, message.data(), (DWORD)message.size(), &written, nullptr) && written == message.size();
    }
    CloseHandle(slot);
    return ok ? DRIVER_OK : DRIVER_FAILED;
}

// A copy of the window's region and its kind; null (after printing "none")
// when the window has no region.
static HRGN CopyWindowRegion(HWND window, int* kind) {
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    *kind = GetWindowRgn(window, region);
    if (*kind != ERROR) return region;
    DeleteObject(region);
    printf("none\n");
    return nullptr;
}

// Window regions are in window coordinates (origin at the window's top-left).
DRIVER_COMMAND(RegionCommand, "rgn", "HWND X Y [X Y ...] (1/0 per point, or 'none' without a region)") {
    Args pos = Positional(args);
    HWND window;
    if (!NeedWindow(pos, 0, &window) || pos.size() % 2 != 1) return DRIVER_USAGE;
    int kind;
    HRGN region = CopyWindowRegion(window, &kind);
    if (!region) return DRIVER_OK;
    for (size_t i = 1; i + 1 < pos.size(); i += 2) {
        int64_t x, y;
        if (!ParseNumber(pos[i], &x) || !ParseNumber(pos[i + 1], &y)) {
            DeleteObject(region);
            return DRIVER_USAGE;
        }
        printf("%d\n", PtInRegion(region, (int)x, (int)y) ? 1 : 0);
    }
    DeleteObject(region);
    return DRIVER_OK;
}

DRIVER_COMMAND(RegionBoxCommand, "rgn-box", "HWND (bounding box and rectangle count of the window region)") {
    HWND window;
    if (!NeedWindow(Positional(args), 0, &window)) return DRIVER_USAGE;
    int kind;
    HRGN region = CopyWindowRegion(window, &kind);
    if (!region) return DRIVER_OK;
    RECT box;
    GetRgnBox(region, &box);
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<char> data(size);
    RGNDATA* rd = (RGNDATA*)data.data();
    DWORD count = size && GetRegionData(region, size, rd) ? rd->rdh.nCount : 0;
    DeleteObject(region);
    printf("kind=%d\nbox=%ld %ld %ld %ld\nrects=%lu\n", kind, box.left, box.top, box.right, box.bottom,
           (unsigned long)count);
    return DRIVER_OK;
}

DRIVER_COMMAND(PidOfCommand, "pid-of", "HWND") {
    HWND window;
    if (!NeedWindow(Positional(args), 0, &window)) return DRIVER_USAGE;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    printf("%lu\n", (unsigned long)pid);
    return DRIVER_OK;
}

DRIVER_COMMAND(ForegroundCommand, "foreground", "(the foreground window)") {
    (void)args;
    printf("%s\n", FormatWindow(GetForegroundWindow()).c_str());
    return DRIVER_OK;
}

DRIVER_COMMAND(ScreenCommand, "screen", "(primary screen width and height)") {
    (void)args;
    printf("%d %d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return DRIVER_OK;
}

DRIVER_COMMAND(EchoCommand, "echo", "ARGS... (prints each argument as received, one per line)") {
    for (const std::string& arg : args) {
        PrintBytes(arg);
        printf("\n");
    }
    return DRIVER_OK;
}
