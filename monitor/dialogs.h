// Start-up hook of the monitor's dialogs: the common-control classes their
// templates use must exist before the first dialog is created.
#pragma once

// Registers the up-down and progress-bar classes. Returns false when the
// system refused; the dialogs then fail to open, nothing else is affected.
bool RegisterDialogClasses();
