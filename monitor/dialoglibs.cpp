// The libraries only the dialogs use: the common controls (the up-down and
// progress-bar classes of the dialog templates) and the common dialogs (the
// skin chooser and the colour chooser). They are loaded from the system
// folder when the first dialog needs them, not at every start, where their
// loading (and what they load in turn) would come before the first paint.
#include "dialogs.h"
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

typedef BOOL(WINAPI* InitCommonControlsExProc)(const INITCOMMONCONTROLSEX*);
typedef BOOL(WINAPI* GetOpenFileNameProc)(OPENFILENAMEA*);
typedef BOOL(WINAPI* ChooseColorProc)(CHOOSECOLORA*);

static HMODULE LoadSystemLibrary(const char* name) {
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + lstrlenA(name) >= MAX_PATH) return nullptr;
    lstrcatA(path, "\\");
    lstrcatA(path, name);
    return LoadLibraryA(path);
}

// The procedure `name` of the system library `library`, loaded once, as the
// type it has (through void (*)(), the one cast that fits every procedure).
template <typename Proc>
static Proc SystemProc(HMODULE* module, const char* library, const char* name) {
    if (!*module) *module = LoadSystemLibrary(library);
    FARPROC proc = *module ? GetProcAddress(*module, name) : nullptr;
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

static HMODULE commonControls, commonDialogs;

bool RegisterDialogClasses() {
    static bool registered;
    if (registered) return true;
    auto init = SystemProc<InitCommonControlsExProc>(&commonControls, "comctl32.dll", "InitCommonControlsEx");
    INITCOMMONCONTROLSEX classes;
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS;
    registered = init && init(&classes);
    return registered;
}

BOOL ShowOpenFileDialog(OPENFILENAMEA* dialog) {
    auto show = SystemProc<GetOpenFileNameProc>(&commonDialogs, "comdlg32.dll", "GetOpenFileNameA");
    return show ? show(dialog) : FALSE;
}

BOOL ShowColorDialog(CHOOSECOLORA* choice) {
    auto show = SystemProc<ChooseColorProc>(&commonDialogs, "comdlg32.dll", "ChooseColorA");
    return show ? show(choice) : FALSE;
}
