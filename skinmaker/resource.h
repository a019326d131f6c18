// Resource and control identifiers of the skin maker, shared by the resource
// script and the code.
#pragma once

#define IDI_SKINMAKER 100

#define IDD_SKINMAKER 101
#define IDD_PREVIEW   102

#define IDC_BITMAP_PATH 1000
#define IDC_BROWSE      1001
#define IDC_TEXT_LEFT   1004
#define IDC_TEXT_TOP    1005
#define IDC_TEXT_RIGHT  1006
#define IDC_TEXT_BOTTOM 1007
#define IDC_TITLE       1010
#define IDC_SWATCH      1011
