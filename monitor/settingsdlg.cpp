// The settings dialog (poll period, pane font and colour, mailslot names,
// scroll bars, pin to bottom) and the pane font it rebuilds.
#include "monitor.h"
#include "sjis.h"
#include "dialogs.h"
#include "fonttable.h"
#include <commctrl.h>
#include <commdlg.h>
#include <string.h>

HFONT paneFont;

static COLORREF workingColor;  // text colour being edited
static COLORREF customColors[16] = {
    // the chooser's custom colours, kept for the run
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
};
// The STATIC procedure SwatchProc replaces. Kept after the dialog ends: every
// swatch has the same one, so a late message still has somewhere to go.
static WNDPROC prevSwatchProc;

void CreatePaneFont() {
    // The new font is handed over before the old one is deleted, so the pane
    // never holds a deleted handle; a failed creation leaves the system font.
    HFONT oldFont = paneFont;
    paneFont =
        CreateFontA(settings.fontHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, fontFaces[FontRow(&settings)]);
    if (textPane) SendMessageA(textPane, WM_SETFONT, (WPARAM)paneFont, 0);
    if (oldFont) DeleteObject(oldFont);
}

// Copies a name field's text into the dialog, safe even for a field that
// lost its terminating NUL.
static void ShowName(HWND dialog, int id, const char* field) {
    char text[SETTINGS_NAME_SIZE + 1];
    memcpy(text, field, SETTINGS_NAME_SIZE);
    text[SETTINGS_NAME_SIZE] = '\0';
    SetDlgItemTextA(dialog, id, text);
}

// Reads an edit into a 64-byte name field: at most 63 bytes, never half of
// a double-byte character. Bytes behind the terminating NUL keep their value.
static void ReadName(HWND dialog, int id, char* field) {
    char text[256];
    int length = GetDlgItemTextA(dialog, id, text, sizeof(text));
    size_t kept = WholeCharPrefix(text, length > 0 ? (size_t)length : 0, SETTINGS_NAME_SIZE - 1, IsAnsiLeadByte);
    memcpy(field, text, kept);
    field[kept] = '\0';
}

static void SetUpDown(HWND dialog, int spinId, int buddyId, int low, int high, UINT value) {
    HWND spin = GetDlgItem(dialog, spinId);
    SendMessageA(spin, UDM_SETBUDDY, (WPARAM)GetDlgItem(dialog, buddyId), 0);
    SendMessageA(spin, UDM_SETRANGE32, (WPARAM)low, (LPARAM)high);
    SendMessageA(spin, UDM_SETPOS, 0, MAKELPARAM(LOWORD(value), 0));
}

static void OpenColorChooser(HWND swatch) {
    CHOOSECOLORA choice;
    memset(&choice, 0, sizeof(choice));
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = swatch;
    choice.rgbResult = workingColor;
    choice.lpCustColors = customColors;
    choice.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!ShowColorDialog(&choice)) return;
    workingColor = choice.rgbResult;
    InvalidateRect(swatch, nullptr, TRUE);
}

static void PaintSwatch(HWND swatch) {
    HBRUSH brush = CreateSolidBrush(workingColor);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(swatch, &paint);
    RECT client;
    GetClientRect(swatch, &client);
    if (brush) FillRect(dc, &client, brush);
    EndPaint(swatch, &paint);
    if (brush) DeleteObject(brush);
}

// The colour swatch: paints itself in the working colour and opens the colour
// chooser on a double-click; everything then goes on to the STATIC procedure.
static LRESULT CALLBACK SwatchProc(HWND swatch, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        PaintSwatch(swatch);
        break;
    case WM_LBUTTONDBLCLK:
        OpenColorChooser(swatch);
        break;
    }
    return CallWindowProcA(prevSwatchProc, swatch, message, wParam, lParam);
}

static void RestoreSwatch(HWND dialog) {
    HWND swatch = GetDlgItem(dialog, IDC_COLORSWATCH);
    if (prevSwatchProc && (WNDPROC)GetWindowLongPtrA(swatch, GWLP_WNDPROC) == SwatchProc)
        SetWindowLongPtrA(swatch, GWLP_WNDPROC, (LONG_PTR)prevSwatchProc);
}

static INT_PTR OnInitDialog(HWND dialog) {
    workingColor = settings.textColor;
    SetUpDown(dialog, IDC_POLLSPIN, IDC_POLLEDIT, 1, 1024, settings.pollPeriod);
    SetUpDown(dialog, IDC_SIZESPIN, IDC_SIZEEDIT, 1, 64, (UINT)settings.fontHeight);
    for (int row = 0; row < FONT_TABLE_SIZE; ++row)
        SendDlgItemMessageA(dialog, IDC_FONTLIST, CB_INSERTSTRING, (WPARAM)row, (LPARAM)fontFaces[row]);
    SendDlgItemMessageA(dialog, IDC_FONTLIST, CB_SETCURSEL, (WPARAM)FontRow(&settings), 0);
    SendDlgItemMessageA(dialog, IDC_REMOTEPC, EM_LIMITTEXT, SETTINGS_NAME_SIZE, 0);
    ShowName(dialog, IDC_REMOTEPC, settings.remotePc);
    ShowName(dialog, IDC_SLOTNAME, settings.slotName);
    CheckDlgButton(dialog, IDC_VSCROLL, settings.vScrollBar ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_HSCROLL, settings.hScrollBar ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_PINBOTTOM, settings.pinToBottom ? BST_CHECKED : BST_UNCHECKED);
    prevSwatchProc =
        (WNDPROC)SetWindowLongPtrA(GetDlgItem(dialog, IDC_COLORSWATCH), GWLP_WNDPROC, (LONG_PTR)SwatchProc);
    return FALSE;
}

static void OnOk(HWND dialog) {
    char oldRemote[SETTINGS_NAME_SIZE], oldSlot[SETTINGS_NAME_SIZE];
    memcpy(oldRemote, settings.remotePc, sizeof(oldRemote));
    memcpy(oldSlot, settings.slotName, sizeof(oldSlot));

    settings.textColor = workingColor;
    settings.pollPeriod = GetDlgItemInt(dialog, IDC_POLLEDIT, nullptr, FALSE);
    StartPollTimer(textPane);

    // Typed text can leave the list without a selection (-1): the font index
    // then stays as it was, so it never leaves the table.
    LRESULT row = SendDlgItemMessageA(dialog, IDC_FONTLIST, CB_GETCURSEL, 0, 0);
    if (row >= 0 && row < FONT_TABLE_SIZE) settings.fontIndex = (settings.fontIndex & ~0xFFu) | (uint32_t)row;
    settings.fontHeight = (int32_t)GetDlgItemInt(dialog, IDC_SIZEEDIT, nullptr, FALSE);

    ReadName(dialog, IDC_REMOTEPC, settings.remotePc);
    ReadName(dialog, IDC_SLOTNAME, settings.slotName);
    if (strncmp(settings.remotePc, oldRemote, SETTINGS_NAME_SIZE) != 0 ||
        strncmp(settings.slotName, oldSlot, SETTINGS_NAME_SIZE) != 0)
        reopenMailslot = 1;

    settings.vScrollBar = IsDlgButtonChecked(dialog, IDC_VSCROLL) == BST_CHECKED ? 1 : 0;
    settings.hScrollBar = IsDlgButtonChecked(dialog, IDC_HSCROLL) == BST_CHECKED ? 1 : 0;
    settings.pinToBottom = IsDlgButtonChecked(dialog, IDC_PINBOTTOM) == BST_CHECKED ? 1 : 0;
    ShowScrollBar(textPane, SB_VERT, settings.vScrollBar);
    ShowScrollBar(textPane, SB_HORZ, settings.hScrollBar);

    CreatePaneFont();
    RestoreSwatch(dialog);
    EndDialog(dialog, IDOK);
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOk(dialog);
        return TRUE;
    case IDCANCEL:
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        return TRUE;
    }
    return FALSE;
}

static INT_PTR OnClose(HWND dialog) {
    RestoreSwatch(dialog);
    EndDialog(dialog, IDCANCEL);
    return TRUE;
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_CLOSE:
        return OnClose(dialog);
    }
    return FALSE;
}
