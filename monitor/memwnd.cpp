// The memory usage window: a modeless dialog that shows physical memory and
// virtual address space in use, refreshed by its own timer, in the text
// pane's colours.
#include "monitor.h"
#include "memfigures.h"
#include <commctrl.h>

static UINT_PTR memoryTimer;  // identifier SetTimer returned, to kill it

static void SetUpBar(HWND dialog, int id) {
    HWND bar = GetDlgItem(dialog, id);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageA(bar, CCM_SETBKCOLOR, 0, (LPARAM)RGB(0, 0, 0));
    SendMessageA(bar, PBM_SETBARCOLOR, 0, (LPARAM)RGB(0, 255, 0));
}

static void ShowKilobytes(HWND dialog, int id, uint64_t kilobytes) {
    char text[32];
    if (FormatKilobytes(kilobytes, text, sizeof(text))) SetDlgItemTextA(dialog, id, text);
}

static void ShowFigures(HWND dialog, uint64_t total, uint64_t available, int totalId, int usedId, int freeId,
                        int barId) {
    MemoryFigures figures = ComputeMemoryFigures(total, available);
    ShowKilobytes(dialog, totalId, figures.totalKb);
    ShowKilobytes(dialog, usedId, figures.usedKb);
    ShowKilobytes(dialog, freeId, figures.availableKb);
    SendDlgItemMessageA(dialog, barId, PBM_SETPOS, (WPARAM)figures.barPercent, 0);
}

static INT_PTR OnInitDialog(HWND dialog) {
    ShowWindow(dialog, SW_SHOWNORMAL);
    SetUpBar(dialog, IDC_PHYSBAR);
    SetUpBar(dialog, IDC_VIRTBAR);
    memoryTimer = SetTimer(dialog, ID_MEMTIMER, 100, nullptr);
    return FALSE;
}

// The extended query: the plain one caps or wraps its 32-bit counts on
// machines with more than 4 GiB.
static INT_PTR OnTimer(HWND dialog) {
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return TRUE;
    ShowFigures(dialog, status.ullTotalPhys, status.ullAvailPhys, IDC_PHYSTOTAL, IDC_PHYSUSED, IDC_PHYSFREE,
                IDC_PHYSBAR);
    ShowFigures(dialog, status.ullTotalVirtual, status.ullAvailVirtual, IDC_VIRTTOTAL, IDC_VIRTUSED, IDC_VIRTFREE,
                IDC_VIRTBAR);
    return TRUE;
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    if (LOWORD(wParam) != IDC_MEMCLOSE) return FALSE;
    SendMessageA(dialog, WM_CLOSE, 0, 0);
    return TRUE;
}

static INT_PTR OnDestroy(HWND dialog) {
    if (memoryTimer) KillTimer(dialog, memoryTimer);
    memoryTimer = 0;
    memoryWindow = nullptr;
    return FALSE;
}

INT_PTR CALLBACK MemoryWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_TIMER:
        return OnTimer(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_CLOSE:
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        return OnDestroy(dialog);
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return (INT_PTR)SetPaneColours((HDC)wParam);
    }
    return FALSE;
}
