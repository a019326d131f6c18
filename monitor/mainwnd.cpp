// The main window's behaviour: dragging with the pin-to-bottom and 64-pixel
// rules, centring, the always-on-top toggle, the context menus, the command
// table, and the text pane's subclass procedure. Placement arithmetic and the
// menu rules are portable (placement.cpp).
#include "monitor.h"
#include "placement.h"
#include "dialogs.h"

static bool moving;            // a left-button drag of the window is under way
static PlacePoint dragOffset;  // cursor minus the window's top-left at the press

static PlaceRect WindowPlaceRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    PlaceRect place = {rect.left, rect.top, rect.right, rect.bottom};
    return place;
}

static PlacePoint CursorPoint() {
    POINT cursor;
    GetCursorPos(&cursor);
    PlacePoint point = {cursor.x, cursor.y};
    return point;
}

// Moves without sizing; the window also comes to the top of its z-order group
// and is activated.
static void MoveMainWindow(HWND window, PlacePoint to) {
    SetWindowPos(window, HWND_TOP, to.x, to.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOOWNERZORDER);
}

static void OnLButtonDown(HWND window) {
    if (moving) return;
    PlacePoint cursor = CursorPoint();
    moving = true;
    dragOffset = DragOffset(cursor, WindowPlaceRect(window));
    SetCapture(window);
}

static void OnMouseMove(HWND window) {
    if (!moving) return;
    PlacePoint cursor = CursorPoint();
    PlacePoint to = DragTarget(cursor, dragOffset, WindowPlaceRect(window), GetSystemMetrics(SM_CYSCREEN),
                               settings.pinToBottom != 0);
    MoveMainWindow(window, to);
}

static void OnLButtonUp() {
    ReleaseCapture();
    moving = false;
}

// Capture taken away mid-drag (another window activated, a modal loop): the
// release will not come here, so the drag ends now rather than leaving the
// window to follow the pointer with no button held.
static void OnCaptureChanged(HWND window, HWND newCapture) {
    if (newCapture != window) moving = false;
}

static void CentreWindow(HWND window) {
    MoveMainWindow(window, CentreTarget(WindowPlaceRect(window), GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), settings.pinToBottom != 0));
}

static HWND FirstVisible(HWND from, UINT direction) {
    for (HWND other = GetWindow(from, direction); other; other = GetWindow(other, direction)) {
        if (IsWindowVisible(other)) return other;
    }
    return nullptr;
}

// Off: the window goes to the bottom and the nearest visible window below it
// (or else above it) takes the foreground, so the user sees something else.
static void ToggleAlwaysOnTop(HWND window) {
    settings.alwaysOnTop = InvertFlag(settings.alwaysOnTop);
    if (settings.alwaysOnTop) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        return;
    }
    HWND next = FirstVisible(window, GW_HWNDNEXT);
    if (!next) next = FirstVisible(window, GW_HWNDPREV);
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    if (next) SetForegroundWindow(next);
}

void RefreshPlacement(HWND window) {
    SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
    SendMessageA(window, WM_MOUSEMOVE, 0, 0);
    SendMessageA(window, WM_LBUTTONUP, 0, 0);
}

static void EnableItem(HMENU menu, UINT id, bool enabled) {
    EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
}

void ShowContextMenu(HWND owner, int menuId) {
    HINSTANCE module = (HINSTANCE)GetWindowLongPtrA(owner, GWLP_HINSTANCE);
    HMENU resource = LoadMenuA(module, MAKEINTRESOURCEA(menuId));
    if (!resource) return;
    HMENU popup = GetSubMenu(resource, 0);
    POINT cursor;
    GetCursorPos(&cursor);
    int length = 0;
    DWORD start = 0, end = 0;
    if (menuId == IDR_PANEMENU) {
        length = GetWindowTextLengthA(textPane);
        if (length > 0) SendMessageA(textPane, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
    }
    MenuEnabling rules = ContextMenuEnabling(memoryWindow != nullptr, settings.logToFile != 0, length, start, end);
    EnableItem(popup, CMD_MEMORY, rules.memoryEnabled);
    CheckMenuItem(popup, CMD_LOGFILE, MF_BYCOMMAND | (rules.logChecked ? MF_CHECKED : MF_UNCHECKED));
    if (menuId == IDR_PANEMENU) {
        EnableItem(popup, CMD_SELECTALL, rules.selectAllEnabled);
        EnableItem(popup, CMD_COPY, rules.copyEnabled);
    }
    TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, owner, nullptr);
    DestroyMenu(resource);
}

// The skin choice dialog; a file that cannot be applied ends on the default skin.
static void ChooseSkin(HWND window) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = "スキン(*.msk)\0*.msk\0All files(*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = "スキンの選択";
    dialog.lpstrDefExt = "msk";
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!ShowOpenFileDialog(&dialog)) return;
    if (!ApplySkin(window, path)) ApplySkin(window, nullptr);
}

static void RunCommand(HWND window, WORD command) {
    switch (command) {
    case CMD_SELECTALL:
        SendMessageA(textPane, EM_SETSEL, 0, -1);
        break;
    case CMD_COPY:
        SendMessageA(textPane, WM_COPY, 0, 0);
        break;
    case CMD_EXIT:
        DestroyWindow(window);
        break;
    case CMD_SETTINGS:
        RegisterDialogClasses();
        if (DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_SETTINGS), window, SettingsDialogProc, 0) == 1)
            RefreshPlacement(window);
        break;
    case CMD_SKIN:
        ChooseSkin(window);
        break;
    case CMD_MEMORY:
        if (!memoryWindow && RegisterDialogClasses())
            memoryWindow = CreateDialogParamA(appInstance, MAKEINTRESOURCEA(IDD_MEMORY), window, MemoryWindowProc, 0);
        break;
    case CMD_MINIMIZE:
        ShowWindow(window, SW_SHOWMINIMIZED);
        break;
    case CMD_LOGFILE:
        settings.logToFile = InvertFlag(settings.logToFile);
        break;
    }
}

static void OnDestroy() {
    if (memoryWindow) {
        DestroyWindow(memoryWindow);
        memoryWindow = nullptr;
    }
    if (textPane) DestroyWindow(textPane);
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        moving = false;
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_PAINT:
        PaintSkin(window);
        break;
    case WM_COMMAND:
        RunCommand(window, LOWORD(wParam));
        return 0;
    case WM_SYSCOMMAND:
        if (LOWORD(wParam) == SC_CENTERWINDOW) CentreWindow(window);
        break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORSCROLLBAR:
        return (LRESULT)SetPaneColours((HDC)wParam);
    case WM_LBUTTONDOWN:
        OnLButtonDown(window);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(window);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp();
        return 0;
    case WM_CAPTURECHANGED:
        OnCaptureChanged(window, (HWND)lParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        ToggleAlwaysOnTop(window);
        return 0;
    case WM_RBUTTONDOWN:
        ShowContextMenu(window, IDR_SKINMENU);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK PaneWndProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = prevPaneProc;
    switch (message) {
    case WM_DESTROY:
        StopPollTimers(pane);
        SetWindowLongPtrA(pane, GWLP_WNDPROC, (LONG_PTR)previous);
        break;
    case WM_COMMAND:
        SendMessageA(GetParent(pane), WM_COMMAND, wParam, lParam);
        break;
    case WM_TIMER:
        PollMailslot(pane);
        break;
    case WM_RBUTTONDOWN:
        ShowContextMenu(pane, IDR_PANEMENU);
        break;
    }
    return CallWindowProcA(previous, pane, message, wParam, lParam);
}
