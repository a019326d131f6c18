// Resource and control identifiers of the monitor (shared by the .rc and the code).
#pragma once

// Resources of different types may share a number, and these do on purpose:
// 101 and 102 are each a menu and a dialog, 102 also the icon, as the
// resource script has always numbered them. Control, timer and system-menu
// ids below are separate name spaces again.
#define IDI_MONITOR  102  // program icon
#define IDR_SKINMENU 101  // pop-up menu on the skin
#define IDR_PANEMENU 102  // pop-up menu on the text pane
#define IDD_MEMORY   101  // memory usage window
#define IDD_SETTINGS 102  // settings dialog
#define IDR_ACCEL    103  // Ctrl+A, Ctrl+C

#define IDC_PANE         100  // the read-only text pane
#define ID_POLLTIMER     1    // poll timer of the text pane
#define ID_FOLLOWUPTIMER 2    // the pane's quick follow-up poll while messages keep coming
#define ID_MEMTIMER      100  // refresh timer of the memory window
#define SC_CENTERWINDOW  1    // system-menu item "centre on screen"

// Commands (WM_COMMAND to the main window)
#define CMD_SELECTALL 40001
#define CMD_COPY      40002
#define CMD_EXIT      40003
#define CMD_SETTINGS  40004
#define CMD_SKIN      40005
#define CMD_MEMORY    40007
#define CMD_MINIMIZE  40008
#define CMD_LOGFILE   40009

// Settings dialog controls
#define IDC_POLLEDIT    1000
#define IDC_POLLSPIN    1002
#define IDC_FONTLIST    1003
#define IDC_SIZEEDIT    1004
#define IDC_SIZESPIN    1005
#define IDC_COLORSWATCH 1006
#define IDC_REMOTEPC    1008
#define IDC_SLOTNAME    1015
#define IDC_VSCROLL     1016
#define IDC_HSCROLL     1017
#define IDC_PINBOTTOM   1018

// Memory window controls
#define IDC_PHYSBAR   1011
#define IDC_VIRTBAR   1012
#define IDC_MEMCLOSE  1013
#define IDC_PHYSTOTAL 1014
#define IDC_PHYSUSED  1015
#define IDC_PHYSFREE  1016
#define IDC_VIRTTOTAL 1017
#define IDC_VIRTUSED  1018
#define IDC_VIRTFREE  1019
