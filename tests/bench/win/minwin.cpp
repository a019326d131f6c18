// The start-up baseline: the least a Win32 window program does (register a
// class, create and show a 256 x 256 popup, run the message loop), so the
// monitor's start-up can be compared with it in the same Wine run.
#include <windows.h>

static LRESULT CALLBACK MinimalWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MinimalWndProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    windowClass.lpszClassName = "TOVRELMINWND";
    if (!RegisterClassA(&windowClass)) return 1;
    HWND window = CreateWindowExA(0, "TOVRELMINWND", "minwin", WS_POPUP | WS_VISIBLE | WS_SYSMENU,
                                  GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 256, 256,
                                  nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}
