// Program-wide state of the monitor and the operations its windows share.
// Every item here lives on the GUI thread only; each is defined once, in the
// file named beside it.
#pragma once
#include <windows.h>
#include "resource.h"
#include "settings.h"

// main.cpp: start-up, settings and handles
extern HINSTANCE appInstance;
extern SettingsBlock settings;  // read from sys.ini at start, written at exit
extern BYTE reopenMailslot;     // on: the next poll (re)creates the mailslot
extern HWND mainWindow;
extern HWND textPane;          // EDIT child, id IDC_PANE
extern WNDPROC prevPaneProc;   // the EDIT procedure PaneWndProc replaced
extern HANDLE mailslotHandle;  // null, INVALID_HANDLE_VALUE or the mailslot
extern HWND memoryWindow;      // the modeless memory window, or null

// skinapply.cpp: the applied skin
extern HBITMAP skinBitmap;
extern COLORREF paneBackColor;  // sampled at the text rectangle's centre
extern HBRUSH paneBrush;        // solid brush of paneBackColor

// settingsdlg.cpp: the pane font
extern HFONT paneFont;

// main.cpp
HANDLE OpenModuleFile(DWORD access, const char* name, const char* ext);
bool IsAnsiLeadByte(unsigned char byte);  // the ANSI code page's lead bytes

// mailslot.cpp
void PollMailslot(HWND pane);
void StartPollTimer(HWND pane);  // the poll timer, replacing a running one
void StopPollTimers(HWND pane);  // the poll timer and its quick follow-up

// skinapply.cpp (the outline itself: skinregion.h)
bool ApplySkin(HWND window, const char* name);
void PaintSkin(HWND window);
HBRUSH SetPaneColours(HDC dc);  // the pane's colours, also the memory window's controls'

// mainwnd.cpp
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PaneWndProc(HWND pane, UINT message, WPARAM wParam, LPARAM lParam);
void ShowContextMenu(HWND owner, int menuId);
void RefreshPlacement(HWND window);  // the "placement refresh"

// settingsdlg.cpp
INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void CreatePaneFont();

// memwnd.cpp
INT_PTR CALLBACK MemoryWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
