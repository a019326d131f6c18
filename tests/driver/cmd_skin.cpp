// Driver command for the skin library's Win32 part: makes a DIB section from
// a skin record file with CreateSkinBitmap and prints what came out, including
// any message box it showed (answered by a timer while the box runs its loop).
#include "driver.h"
#include "filebytes.h"
#include "skinfile.h"

#include <stdio.h>
#include <stdlib.h>

namespace {

struct BoxSeen {
    bool seen;
    bool ownedByOwner;
    std::string caption;
    std::string text;
};

HWND boxOwner;
BoxSeen boxSeen;

BOOL CALLBACK FindBoxProc(HWND window, LPARAM) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    if (!boxSeen.seen) {
        char caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        char text[512] = "";
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        boxSeen.seen = true;
        boxSeen.caption = caption;
        boxSeen.text = text;
        boxSeen.ownedByOwner = GetWindow(window, GW_OWNER) == boxOwner;
    }
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK AnswerBoxProc(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), FindBoxProc, 0);
}

void PrintHex(const char* key, const unsigned char* data, size_t size) {
    printf("%s=", key);
    for (size_t k = 0; k < size; ++k) printf("%02x", data[k]);
    printf("\n");
}

}  // namespace

DRIVER_COMMAND(SkinBitmapCommand, "skin-bitmap",
               "RECORD_FILE (CreateSkinBitmap over an unpacked skin record; key=value lines)") {
    Args pos = Positional(args);
    if (pos.size() != 1) return DRIVER_USAGE;
    std::string record;
    if (ReadFileBytes(pos[0].c_str(), &record) != FILE_READ_OK || record.size() < sizeof(SkinHeader)) {
        printf("cannot read a record from %s\n", pos[0].c_str());
        return DRIVER_FAILED;
    }
    boxOwner = CreateWindowExA(0, "STATIC", "skin-bitmap owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    boxSeen = BoxSeen();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerBoxProc);
    const unsigned char* image = (const unsigned char*)record.data() + sizeof(SkinHeader);
    HBITMAP bitmap = CreateSkinBitmap(boxOwner, image, (int32_t)(record.size() - sizeof(SkinHeader)));
    KillTimer(nullptr, timer);
    if (boxSeen.seen) {
        printf("msgbox-caption=%s\nmsgbox-text=%s\nmsgbox-owned=%d\n", boxSeen.caption.c_str(), boxSeen.text.c_str(),
               boxSeen.ownedByOwner ? 1 : 0);
    } else {
        printf("msgbox=none\n");
    }
    DestroyWindow(boxOwner);
    if (!bitmap) {
        printf("bitmap=null\n");
        return DRIVER_OK;
    }
    DIBSECTION section;
    if (GetObjectA(bitmap, sizeof section, &section) != (int)sizeof section) {
        printf("bitmap=not-a-dib-section\n");
        DeleteObject(bitmap);
        return DRIVER_FAILED;
    }
    printf("bitmap=ok\nwidth=%ld\nheight=%ld\nbits=%d\nstride=%ld\n", (long)section.dsBmih.biWidth,
           (long)section.dsBmih.biHeight, (int)section.dsBm.bmBitsPixel, (long)section.dsBm.bmWidthBytes);
    size_t size = (size_t)section.dsBm.bmWidthBytes * (size_t)abs(section.dsBm.bmHeight);
    PrintHex("pixels", (const unsigned char*)section.dsBm.bmBits, size);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RGBQUAD table[256];
    UINT colors = GetDIBColorTable(memory, 0, 256, table);
    // The displayed top and bottom rows, whatever the stored row order.
    int rows = abs(section.dsBm.bmHeight);
    printf("top-left=%06lx\nbottom-left=%06lx\n", (unsigned long)GetPixel(memory, 0, 0),
           (unsigned long)GetPixel(memory, 0, rows - 1));
    SelectObject(memory, old);
    DeleteDC(memory);
    printf("colors=%u\n", colors);
    PrintHex("table", (const unsigned char*)table, colors * sizeof(RGBQUAD));
    DeleteObject(bitmap);
    return DRIVER_OK;
}
