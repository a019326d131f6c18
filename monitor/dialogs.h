// The libraries of the monitor's dialogs, loaded at the first dialog that
// needs them (dialoglibs.cpp).
#pragma once
#include <windows.h>
#include <commdlg.h>

// Registers the up-down and progress-bar classes the dialog templates use;
// called before each dialog is created (only the first call does anything).
// Returns false when the system refused; the dialogs then fail to open,
// nothing else is affected.
bool RegisterDialogClasses();

// GetOpenFileNameA and ChooseColorA; FALSE also when comdlg32 cannot be loaded.
BOOL ShowOpenFileDialog(OPENFILENAMEA* dialog);
BOOL ShowColorDialog(CHOOSECOLORA* choice);
