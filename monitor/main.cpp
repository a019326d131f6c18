// The monitor's start-up, message loop and shutdown, the program-wide
// handles, and the rule that puts its files beside the executable.
#include "monitor.h"
#include "names.h"
#include "recvbuf.h"

HINSTANCE appInstance;
SettingsBlock settings;
BYTE reopenMailslot = 1;
HWND mainWindow;
HWND textPane;
WNDPROC prevPaneProc;
HANDLE mailslotHandle;
HWND memoryWindow;

static const char windowClassName[] = "TOVRELWND";
static const DWORD paneStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_READONLY;

bool IsAnsiLeadByte(unsigned char byte) {
    return IsDBCSLeadByte(byte) != FALSE;
}

// A directory too long for the joined name is refused, never overrun.
HANDLE OpenModuleFile(DWORD access, const char* name, const char* ext) {
    char module[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(nullptr, module, MAX_PATH + 1);
    char path[MODULE_PATH_SIZE];
    if (length == 0 || length > MAX_PATH || !JoinModulePath(module, name, ext, IsAnsiLeadByte, path, sizeof path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, access, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

static void ReadSettingsFile() {
    HANDLE file = OpenModuleFile(GENERIC_READ, "sys", "ini");
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD read = 0;
    ReadFile(file, &settings, sizeof settings, &read, nullptr);
    CloseHandle(file);
    RepairSettings(&settings);
}

static void WriteSettingsFile() {
    HANDLE file = OpenModuleFile(GENERIC_WRITE, "sys", "ini");
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, &settings, sizeof settings, &written, nullptr);
    CloseHandle(file);
}

static void StartupError(const char* text) {
    MessageBoxA(nullptr, text, "Error", MB_OK);
}

static bool RegisterMainClass(HINSTANCE instance) {
    WNDCLASSA wc = {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_MONITOR));
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = windowClassName;
    return RegisterClassA(&wc) != 0;
}

static void AddCentreItem(HWND window) {
    HMENU systemMenu = GetSystemMenu(window, FALSE);
    if (!systemMenu) return;
    static char text[] = "画面中央に移動 (&C)";
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID | MIIM_TYPE;
    item.fType = MFT_STRING;
    item.wID = SC_CENTERWINDOW;
    item.dwTypeData = text;
    InsertMenuItemA(systemMenu, 0, TRUE, &item);
}

static HWND InitInstance(HINSTANCE instance) {
    SetDefaultSettings(&settings);
    ReadSettingsFile();

    if (!RegisterMainClass(instance)) {
        StartupError("RegisterClass@InitInstance");
        return nullptr;
    }
    int left = GetSystemMetrics(SM_CXSCREEN) / 2;
    int top = GetSystemMetrics(SM_CYSCREEN) / 2;
    mainWindow = CreateWindowExA(0, windowClassName, "Tovrel", WS_POPUP | WS_VISIBLE | WS_SYSMENU, left, top, 256, 256,
                                 nullptr, nullptr, instance, nullptr);
    if (!mainWindow) {
        StartupError("CreateWindow@InitInstance");
        return nullptr;
    }
    SetWindowPos(mainWindow, settings.alwaysOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    AddCentreItem(mainWindow);

    textPane =
        CreateWindowExA(0, "EDIT", "", paneStyle, 0, 0, 0, 0, mainWindow, (HMENU)(INT_PTR)IDC_PANE, instance, nullptr);
    if (!textPane) {
        StartupError("CreateEdit@InitInstance");
        return nullptr;
    }
    SendMessageA(textPane, EM_LIMITTEXT, RECV_BUFFER_SIZE, 0);
    prevPaneProc = (WNDPROC)SetWindowLongPtrA(textPane, GWLP_WNDPROC, (LONG_PTR)PaneWndProc);
    StartPollTimer(textPane);
    ShowScrollBar(textPane, SB_VERT, settings.vScrollBar != 0);
    ShowScrollBar(textPane, SB_HORZ, settings.hScrollBar != 0);
    CreatePaneFont();
    if (!ApplySkin(mainWindow, settings.skinPath)) ApplySkin(mainWindow, "");
    return mainWindow;
}

// Restores a running monitor and brings it (or its last pop-up) forward.
static void BringForward(HWND running) {
    if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
    SetForegroundWindow(GetLastActivePopup(running));
}

static int RunMessageLoop(HINSTANCE instance) {
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCEL));
    MSG msg = {};
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (accelerators && TranslateAcceleratorA(mainWindow, accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}

static void Shutdown() {
    if (mailslotHandle && mailslotHandle != INVALID_HANDLE_VALUE) CloseHandle(mailslotHandle);
    mailslotHandle = nullptr;
    WriteSettingsFile();
    if (memoryWindow) {
        DestroyWindow(memoryWindow);
        memoryWindow = nullptr;
    }
    if (paneBrush && paneBrush != (HBRUSH)GetStockObject(WHITE_BRUSH)) DeleteObject(paneBrush);
    paneBrush = nullptr;
    if (skinBitmap) DeleteObject(skinBitmap);
    skinBitmap = nullptr;
    if (paneFont) DeleteObject(paneFont);
    paneFont = nullptr;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    HWND running = FindWindowA(windowClassName, nullptr);
    if (running) {
        BringForward(running);
        return 0;
    }
    appInstance = instance;
    if (!InitInstance(instance)) return 0;
    int code = RunMessageLoop(instance);
    Shutdown();
    return code;
}
