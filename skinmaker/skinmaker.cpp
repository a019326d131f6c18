// The skin maker: one modal dialog that turns a .bmp file into a .msk skin.
// The user loads a bitmap (browse or drop), marks the text rectangle and the
// transparent colour on the preview window, types a title and saves; the save
// reads the bitmap file again and packs header + file into the skin file.
#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>
#include <stdlib.h>
#include <string.h>
#include "codec.h"
#include "makercore.h"
#include "resource.h"
#include "skinmaker.h"

static const char dialogCaption[] = "スキン作成";
static const char savingCaption[] = "データ保存中";
static const char loadFailedText[] = "読み込みに失敗しました";
static const char openFailedText[] = "指定されたビットマップファイルを開くのに失敗しました";
static const char readFailedText[] = "指定されたビットマップファイルの読み込みに失敗しました";
static const char tooLargeText[] = "ビットマップファイルが大きすぎます";
static const char noMemoryText[] = "メモリの確保に失敗しました";
static const char saveFailedText[] = "保存に失敗しました";
static const char errorCaption[] = "Error";

static HINSTANCE instanceHandle;
static HWND previewWindow;
HWND dialogWindow;
HBITMAP currentBitmap;
uint32_t transparentColor = SKIN_NO_TRANSPARENT;
HBRUSH swatchBrush;

static void ShowMessage(HWND dialog, const char* text, const char* caption) {
    MessageBoxA(dialog, text, caption, MB_OK);
}

// Loads `path` as the current bitmap and shows it in the preview. On failure
// nothing changes: the old bitmap, the path field and the preview stay.
static bool LoadBitmapFile(HWND dialog, const char* path) {
    HBITMAP bitmap = (HBITMAP)LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    if (!bitmap) return false;
    if (currentBitmap) DeleteObject(currentBitmap);
    currentBitmap = bitmap;
    SetDlgItemTextA(dialog, IDC_BITMAP_PATH, path);
    if (!previewWindow)
        previewWindow = CreateDialogParamA(instanceHandle, MAKEINTRESOURCEA(IDD_PREVIEW), nullptr, PreviewProc, 0);
    if (previewWindow) {
        SendMessageA(previewWindow, WM_SIZE, 0, 0);
        SetWindowTextA(previewWindow, path);
        InvalidateRect(previewWindow, nullptr, FALSE);
    }
    return true;
}

// The common members of the open and save dialogs' structure, in the size
// without the Windows 2000 extension fields.
static void PrepareFileDialog(OPENFILENAMEA* ofn, HWND dialog, char* path, const char* filter, const char* title,
                              DWORD flags, const char* extension) {
    memset(ofn, 0, sizeof *ofn);
    ofn->lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn->hwndOwner = dialog;
    ofn->lpstrFilter = filter;
    ofn->lpstrFile = path;
    ofn->nMaxFile = MAX_PATH;
    ofn->lpstrTitle = title;
    ofn->Flags = flags;
    ofn->lpstrDefExt = extension;
}

static void BrowseForBitmap(HWND dialog) {
    char path[MAX_PATH];
    memset(path, 0, sizeof path);
    GetDlgItemTextA(dialog, IDC_BITMAP_PATH, path, MAX_PATH);
    OPENFILENAMEA ofn;
    PrepareFileDialog(&ofn, dialog, path, "ビットマップ(*.bmp)\0*.bmp\0All files(*.*)\0*.*\0",
                      "ビットマップファイルの選択", OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, "bmp");
    if (!GetOpenFileNameA(&ofn)) return;
    if (!LoadBitmapFile(dialog, path)) ShowMessage(dialog, loadFailedText, errorCaption);
}

static void DropBitmap(HWND dialog, HDROP drop) {
    char path[MAX_PATH];
    memset(path, 0, sizeof path);
    DragQueryFileA(drop, 0, path, MAX_PATH);
    DragFinish(drop);
    if (!LoadBitmapFile(dialog, path)) ShowMessage(dialog, loadFailedText, errorCaption);
}

static void BuildHeader(HWND dialog, SkinHeader* header) {
    char title[256];
    memset(title, 0, sizeof title);
    GetDlgItemTextA(dialog, IDC_TITLE, title, sizeof title);
    int32_t left = (int32_t)GetDlgItemInt(dialog, IDC_TEXT_LEFT, nullptr, TRUE);
    int32_t top = (int32_t)GetDlgItemInt(dialog, IDC_TEXT_TOP, nullptr, TRUE);
    int32_t right = (int32_t)GetDlgItemInt(dialog, IDC_TEXT_RIGHT, nullptr, TRUE);
    int32_t bottom = (int32_t)GetDlgItemInt(dialog, IDC_TEXT_BOTTOM, nullptr, TRUE);
    FillSkinHeader(header, title, left, top, right, bottom, transparentColor);
}

// Reads the bitmap file as it lies on disk now into a new record behind the
// header. Every failure is reported here; a partial record is never returned.
static unsigned char* ReadSkinRecord(HWND dialog, const char* path, const SkinHeader* header, int32_t* length) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ShowMessage(dialog, openFailedText, path);
        return nullptr;
    }
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        CloseHandle(file);
        ShowMessage(dialog, readFailedText, path);
        return nullptr;
    }
    if (!SkinRecordLength(((uint64_t)high << 32) | low, length)) {
        CloseHandle(file);
        ShowMessage(dialog, tooLargeText, path);
        return nullptr;
    }
    unsigned char* record = NewSkinRecord(header, *length);
    if (!record) {
        CloseHandle(file);
        ShowMessage(dialog, noMemoryText, errorCaption);
        return nullptr;
    }
    DWORD wanted = (DWORD)(*length - (int32_t)sizeof(SkinHeader));
    DWORD got = 0;
    BOOL read = ReadFile(file, record + sizeof(SkinHeader), wanted, &got, nullptr);
    CloseHandle(file);
    if (!read || got != wanted) {
        free(record);
        ShowMessage(dialog, readFailedText, path);
        return nullptr;
    }
    return record;
}

// Asks for the skin file name, proposing the bitmap's name with ".msk" so
// that confirming as proposed never writes over the bitmap. A save dialog
// that demanded an existing file could only overwrite one, so it asks for an
// existing folder and confirms overwriting instead. `path` holds the bitmap
// path on entry and the chosen name on success.
static bool AskSkinName(HWND dialog, char* path) {
    char proposal[MAX_PATH];
    ProposeSkinName(path, proposal, sizeof proposal);
    memset(path, 0, MAX_PATH);
    memcpy(path, proposal, strlen(proposal));
    OPENFILENAMEA ofn;
    PrepareFileDialog(&ofn, dialog, path, "スキン(*.msk)\0*.msk\0All files(*.*)\0*.*\0", "スキンの保存",
                      OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST, "msk");
    return GetSaveFileNameA(&ofn) != FALSE;
}

static void WriteSkin(HWND dialog, const char* path, const unsigned char* record, int32_t length) {
    SetWindowTextA(dialog, savingCaption);
    if (!PackToFile(path, record, length)) ShowMessage(dialog, saveFailedText, path);
    SetWindowTextA(dialog, dialogCaption);
}

static void SaveSkin(HWND dialog) {
    SkinHeader header;
    char path[MAX_PATH];
    memset(path, 0, sizeof path);
    GetDlgItemTextA(dialog, IDC_BITMAP_PATH, path, MAX_PATH);
    BuildHeader(dialog, &header);
    int32_t length = 0;
    unsigned char* record = ReadSkinRecord(dialog, path, &header, &length);
    if (!record) return;
    if (AskSkinName(dialog, path)) WriteSkin(dialog, path, record, length);
    free(record);
}

static INT_PTR OnInitDialog(HWND dialog) {
    dialogWindow = dialog;
    SetDlgItemInt(dialog, IDC_TEXT_LEFT, 0, FALSE);
    SetDlgItemInt(dialog, IDC_TEXT_TOP, 0, FALSE);
    SetDlgItemInt(dialog, IDC_TEXT_RIGHT, 0, FALSE);
    SetDlgItemInt(dialog, IDC_TEXT_BOTTOM, 0, FALSE);
    SendDlgItemMessageA(dialog, IDC_TITLE, EM_LIMITTEXT, 32, 0);
    return FALSE;
}

static void OnClose(HWND dialog) {
    dialogWindow = nullptr;
    EndDialog(dialog, IDCANCEL);
}

static void OnCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDOK:
        SaveSkin(dialog);
        break;
    case IDCANCEL:
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        break;
    case IDC_BROWSE:
        BrowseForBitmap(dialog);
        break;
    }
}

// Paints the swatch in the picked colour, with black or white text by the
// contrast rule; every other static keeps the system colours.
static INT_PTR OnCtlColorStatic(HDC dc, HWND control) {
    if (GetDlgCtrlID(control) != IDC_SWATCH || !SwatchIsColoured(transparentColor) || !swatchBrush) return FALSE;
    SetTextColor(dc, SwatchTextColor(transparentColor));
    SetBkColor(dc, transparentColor);
    return (INT_PTR)swatchBrush;
}

static INT_PTR CALLBACK MakerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_CLOSE:
        OnClose(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return FALSE;
    case WM_DROPFILES:
        DropBitmap(dialog, (HDROP)wParam);
        return FALSE;
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic((HDC)wParam, (HWND)lParam);
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    instanceHandle = instance;
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SKINMAKER), nullptr, MakerDialogProc, 0);
    if (previewWindow) DestroyWindow(previewWindow);
    if (swatchBrush) DeleteObject(swatchBrush);
    if (currentBitmap) DeleteObject(currentBitmap);
    return 0;
}
