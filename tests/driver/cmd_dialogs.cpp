// Driver commands for the monitor's dialogs: reading common controls, combo
// boxes and check boxes of another process, the memory status as this
// process sees it, and mailslot writers kept open across commands.
#include "driver.h"
#include <commctrl.h>
#include <winternl.h>
#include <stdio.h>
#include <map>
#include <vector>

static const DWORD kTimeout = 5000;

// The control `id` of dialog pos[0], with pos[1] as the id.
static HWND NeedControl(const Args& pos, HWND* control) {
    int64_t id;
    if (pos.size() < 2 || !ParseNumber(pos[1], &id)) return nullptr;
    HWND dialog = ParseWindow(pos[0]);
    if (!dialog || !IsWindow(dialog)) return nullptr;
    *control = GetDlgItem(dialog, (int)id);
    return *control;
}

static bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* answer) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeout, &result)) return false;
    *answer = (LRESULT)result;
    return true;
}

DRIVER_COMMAND(UpDownPosCommand, "updown-pos", "DIALOG ID (the up-down control's position)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    LRESULT pos;
    if (!Ask(control, UDM_GETPOS32, 0, 0, &pos)) return DRIVER_TIMEOUT;
    printf("%d\n", (int)pos);
    return DRIVER_OK;
}

DRIVER_COMMAND(UpDownRangeCommand, "updown-range", "DIALOG ID (low and high of the up-down control)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    // UDM_GETRANGE answers in 16 bits, enough for the ranges the dialogs use.
    LRESULT range;
    if (!Ask(control, UDM_GETRANGE, 0, 0, &range)) return DRIVER_TIMEOUT;
    printf("%d %d\n", (int)(short)HIWORD(range), (int)(short)LOWORD(range));
    return DRIVER_OK;
}

DRIVER_COMMAND(UpDownBuddyCommand, "updown-buddy", "DIALOG ID (the buddy's control id)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    LRESULT buddy;
    if (!Ask(control, UDM_GETBUDDY, 0, 0, &buddy)) return DRIVER_TIMEOUT;
    printf("%ld\n", buddy ? (long)GetWindowLongPtrA((HWND)buddy, GWLP_ID) : -1L);
    return DRIVER_OK;
}

// Count, selected index and text of every row. The rows are asked for in
// Unicode (Wine marshals CB_GETLBTEXT across processes in that form only) and
// printed in the ANSI code page like every other text of the driver.
DRIVER_COMMAND(ComboCommand, "combo", "DIALOG ID (count, selection, then one row per line)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    LRESULT count, selection;
    if (!Ask(control, CB_GETCOUNT, 0, 0, &count) || !Ask(control, CB_GETCURSEL, 0, 0, &selection))
        return DRIVER_TIMEOUT;
    printf("count=%ld\nselection=%ld\n", (long)count, (long)selection);
    for (LRESULT row = 0; row < count; ++row) {
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(control, CB_GETLBTEXTLEN, row, 0, SMTO_ABORTIFHUNG, kTimeout, &length) ||
            (LRESULT)length < 0 || length > 255)
            return DRIVER_FAILED;
        WCHAR wide[256] = L"";
        DWORD_PTR got = 0;
        if (!SendMessageTimeoutW(control, CB_GETLBTEXT, row, (LPARAM)wide, SMTO_ABORTIFHUNG, kTimeout, &got))
            return DRIVER_TIMEOUT;
        char text[512] = "";
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
        printf("%s\n", text);
    }
    return DRIVER_OK;
}

DRIVER_COMMAND(ComboSelectCommand, "combo-select", "DIALOG ID INDEX (CB_SETCURSEL)") {
    Args pos = Positional(args);
    HWND control;
    int64_t index;
    if (!NeedControl(pos, &control) || pos.size() < 3 || !ParseNumber(pos[2], &index)) return DRIVER_USAGE;
    LRESULT result;
    if (!Ask(control, CB_SETCURSEL, (WPARAM)index, 0, &result)) return DRIVER_TIMEOUT;
    printf("%ld\n", (long)result);
    return DRIVER_OK;
}

DRIVER_COMMAND(CheckStateCommand, "check-state", "DIALOG ID (0 unchecked, 1 checked)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    LRESULT state;
    if (!Ask(control, BM_GETCHECK, 0, 0, &state)) return DRIVER_TIMEOUT;
    printf("%ld\n", (long)state);
    return DRIVER_OK;
}

DRIVER_COMMAND(ProgressCommand, "progress", "DIALOG ID (pos, range, bar and background colours)") {
    HWND control;
    if (!NeedControl(Positional(args), &control)) return DRIVER_USAGE;
    LRESULT pos, low, high, bar, back;
    if (!Ask(control, PBM_GETPOS, 0, 0, &pos) || !Ask(control, PBM_GETRANGE, TRUE, 0, &low) ||
        !Ask(control, PBM_GETRANGE, FALSE, 0, &high) || !Ask(control, PBM_GETBARCOLOR, 0, 0, &bar) ||
        !Ask(control, PBM_GETBKCOLOR, 0, 0, &back))
        return DRIVER_TIMEOUT;
    printf("pos=%ld\nrange=%ld %ld\nbar=0x%08lx\nback=0x%08lx\n", (long)pos, (long)low, (long)high, (unsigned long)bar,
           (unsigned long)back);
    return DRIVER_OK;
}

DRIVER_COMMAND(MemStatusCommand, "memstatus", "(GlobalMemoryStatusEx of the driver, in bytes)") {
    (void)args;
    MEMORYSTATUSEX status;
    status.dwLength = sizeof(status);
    if (!GlobalMemoryStatusEx(&status)) return DRIVER_FAILED;
    printf("physTotal=%llu\nphysAvail=%llu\nvirtTotal=%llu\nvirtAvail=%llu\n", (unsigned long long)status.ullTotalPhys,
           (unsigned long long)status.ullAvailPhys, (unsigned long long)status.ullTotalVirtual,
           (unsigned long long)status.ullAvailVirtual);
    return DRIVER_OK;
}

// Writers that stay open between commands (the serve mode keeps the driver
// alive), so a test can tell whether a mailslot was re-created behind them.
// They share writing, so several can be open on one mailslot at once.
static std::map<int, HANDLE> heldWriters;
static int nextWriter = 1;

DRIVER_COMMAND(SlotOpenCommand, "slot-open", "NAME (prints a writer number)") {
    Args pos = Positional(args);
    if (pos.empty()) return DRIVER_USAGE;
    HANDLE slot = CreateFileA(pos[0].c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        printf("cannot open %s (error %lu)\n", pos[0].c_str(), (unsigned long)GetLastError());
        return DRIVER_FAILED;
    }
    heldWriters[nextWriter] = slot;
    printf("%d\n", nextWriter++);
    return DRIVER_OK;
}

DRIVER_COMMAND(SlotPutCommand, "slot-put", "WRITER TEXT (one message through a held writer)") {
    Args pos = Positional(args);
    int64_t number;
    if (pos.size() < 2 || !ParseNumber(pos[0], &number) || !heldWriters.count((int)number)) return DRIVER_USAGE;
    DWORD written = 0;
    BOOL ok = WriteFile(heldWriters[(int)number], pos[1].data(), (DWORD)pos[1].size(), &written, nullptr);
    if (!ok) printf("error %lu\n", (unsigned long)GetLastError());
    return ok && written == pos[1].size() ? DRIVER_OK : DRIVER_FAILED;
}

DRIVER_COMMAND(SlotCloseCommand, "slot-close", "WRITER") {
    Args pos = Positional(args);
    int64_t number;
    if (pos.empty() || !ParseNumber(pos[0], &number) || !heldWriters.count((int)number)) return DRIVER_USAGE;
    CloseHandle(heldWriters[(int)number]);
    heldWriters.erase((int)number);
    return DRIVER_OK;
}

// Typing without a keyboard: one WM_CHAR per byte, posted in order, so edit
// controls apply their text limits as they would to keystrokes.
DRIVER_COMMAND(PostCharsCommand, "post-chars", "HWND TEXT") {
    Args pos = Positional(args);
    HWND window;
    if (pos.size() < 2 || !(window = ParseWindow(pos[0])) || !IsWindow(window)) return DRIVER_USAGE;
    for (unsigned char c : pos[1])
        if (!PostMessageA(window, WM_CHAR, c, 1)) return DRIVER_FAILED;
    return DRIVER_OK;
}

// Asks for a full repaint of a window and its children, as an uncovered
// window would get. With --wait, returns once the window and every child
// have painted (no update region left), so that a screenshot shows the state
// as it stands now.
static BOOL CALLBACK FindUnpainted(HWND child, LPARAM found) {
    if (GetUpdateRect(child, nullptr, FALSE)) {
        *(bool*)found = true;
        return FALSE;
    }
    return TRUE;
}

static bool Painted(HWND window) {
    bool unpainted = GetUpdateRect(window, nullptr, FALSE) != FALSE;
    if (!unpainted) EnumChildWindows(window, FindUnpainted, (LPARAM)&unpainted);
    return !unpainted;
}

DRIVER_COMMAND(RedrawCommand, "redraw", "HWND [--wait MS] (until it has painted)") {
    HWND window;
    Args pos = Positional(args);
    if (pos.empty() || !(window = ParseWindow(pos[0])) || !IsWindow(window)) return DRIVER_USAGE;
    if (!RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME))
        return DRIVER_FAILED;
    DWORD timeout = (DWORD)NumberOption(args, "--wait", 0);
    if (!timeout) return DRIVER_OK;
    return WaitFor(timeout, [&] { return !IsWindow(window) || Painted(window); }) ? DRIVER_OK : DRIVER_TIMEOUT;
}

// What a process holds, for the soak run. Kernel handles are counted in the
// system's handle list: the process list's handle count is, under Wine, the
// size the handle table has grown to, which never shrinks. GDI and USER
// objects come from the GUI resource query; where that answers 0 (Wine), GDI
// objects are counted in the process's own GDI handle table (the PEB points
// to it, on Windows and Wine alike) and windows stand in for USER objects.
struct HandleEntry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT value;
    PVOID object;
    ULONG access;
};

struct GdiEntry {  // GDI_HANDLE_ENTRY: a free entry has type 0
    UINT64 object;
    ULONG owner;
    USHORT unique;
    BYTE type, flags;
    UINT64 user;
};

const ULONG GDI_TABLE_ENTRIES = 16384;
const size_t PEB_GDI_TABLE_OFFSET = sizeof(void*) == 8 ? 0xF8 : 0x94;  // the driver and target share a bitness

struct ProcessEntry {  // the head of SYSTEM_PROCESS_INFORMATION (64-bit and 32-bit alike)
    ULONG nextOffset;
    ULONG threads;
    LARGE_INTEGER reserved[6];
    USHORT nameLength, nameMaximum;
    PWSTR name;
    LONG basePriority;
    HANDLE processId;
    HANDLE parentId;
    ULONG handleCount;
    ULONG sessionId;
    ULONG_PTR pageDirectoryBase;
    SIZE_T peakVirtualSize, virtualSize;
    ULONG pageFaultCount;
    SIZE_T peakWorkingSet, workingSet, quotaPeakPaged, quotaPaged, quotaPeakNonPaged, quotaNonPaged;
    SIZE_T pagefileUsage, peakPagefileUsage, privatePageCount;
};

typedef LONG(WINAPI* QuerySystemProc)(ULONG, void*, ULONG, ULONG*);
typedef LONG(WINAPI* QueryProcessProc)(HANDLE, ULONG, void*, ULONG, ULONG*);
typedef LONG(WINAPI* QueryObjectProc)(HANDLE, ULONG, void*, ULONG, ULONG*);

// The values of the handles `pid` holds, from the system's handle list.
static bool ListHandles(QuerySystemProc query, int64_t pid, std::vector<USHORT>* values) {
    std::vector<unsigned char> list(1 << 16);
    LONG status;
    ULONG needed = 0;
    while ((status = query(16 /* SystemHandleInformation */, list.data(), (ULONG)list.size(), &needed)) ==
               (LONG)0xC0000004 /* STATUS_INFO_LENGTH_MISMATCH */
           && list.size() < (64u << 20))
        list.resize(list.size() * 2);
    if (status != 0) return false;
    ULONG total = *(const ULONG*)list.data();
    size_t first = sizeof(ULONG_PTR);  // the count, padded to the entries' alignment
    if (total > (list.size() - first) / sizeof(HandleEntry)) return false;
    const HandleEntry* entries = (const HandleEntry*)(list.data() + first);
    values->clear();
    for (ULONG i = 0; i < total; i++)
        if ((int64_t)entries[i].ownerPid == pid) values->push_back(entries[i].value);
    return true;
}

static bool CountHandles(QuerySystemProc query, int64_t pid, unsigned long* count) {
    std::vector<USHORT> values;
    if (!ListHandles(query, pid, &values)) return false;
    *count = (unsigned long)values.size();
    return true;
}

static bool CountGdiTable(HANDLE process, unsigned long* count) {
    QueryProcessProc query =
        (QueryProcessProc)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic;
    ULONG got = 0;
    void* table = nullptr;
    SIZE_T read = 0;
    if (!query || query(process, 0 /* ProcessBasicInformation */, &basic, sizeof basic, &got) != 0 ||
        !ReadProcessMemory(process, (const char*)basic.PebBaseAddress + PEB_GDI_TABLE_OFFSET, &table, sizeof table,
                           &read) ||
        !table)
        return false;
    std::vector<GdiEntry> entries(GDI_TABLE_ENTRIES);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiEntry), &read)) return false;
    *count = 0;
    for (const GdiEntry& entry : entries)
        if (entry.type) ++*count;
    return true;
}

static BOOL CALLBACK CountWindow(HWND window, LPARAM state) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    std::pair<DWORD, unsigned long>* counting = (std::pair<DWORD, unsigned long>*)state;
    if (owner == counting->first) {
        ++counting->second;
        EnumChildWindows(window, CountWindow, state);
    }
    return TRUE;
}

static unsigned long CountWindows(DWORD pid) {
    std::pair<DWORD, unsigned long> counting(pid, 0);
    EnumWindows(CountWindow, (LPARAM)&counting);
    return counting.second;
}

DRIVER_COMMAND(ProcessCountsCommand, "process-counts", "PID (handles, gdi, user, windows, private bytes)") {
    Args pos = Positional(args);
    int64_t pid;
    if (pos.size() != 1 || !ParseNumber(pos[0], &pid)) return DRIVER_USAGE;
    QuerySystemProc query =
        (QuerySystemProc)(void*)GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    std::vector<unsigned char> list(1 << 20);
    ULONG needed = 0;
    if (!query || query(5 /* SystemProcessInformation */, list.data(), (ULONG)list.size(), &needed) != 0)
        return DRIVER_FAILED;
    const ProcessEntry* found = nullptr;
    for (size_t at = 0;;) {
        const ProcessEntry* entry = (const ProcessEntry*)(list.data() + at);
        if ((int64_t)(ULONG_PTR)entry->processId == pid) found = entry;
        if (!entry->nextOffset || found) break;
        at += entry->nextOffset;
    }
    unsigned long handles = 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, (DWORD)pid);
    bool counted = found && process && CountHandles(query, pid, &handles);
    unsigned long gdi = counted ? GetGuiResources(process, GR_GDIOBJECTS) : 0;
    unsigned long user = counted ? GetGuiResources(process, GR_USEROBJECTS) : 0;
    if (counted && !gdi) counted = CountGdiTable(process, &gdi);
    if (process) CloseHandle(process);
    if (!counted) return DRIVER_FAILED;
    printf("handles=%lu\ngdi=%lu\nuser=%lu\nwindows=%lu\nprivate=%llu\n", handles, gdi, user, CountWindows((DWORD)pid),
           (unsigned long long)found->privatePageCount);
    return DRIVER_OK;
}

// Each handle PID holds, as "type<TAB>name" lines (name empty where the
// object has none), so that a soak run can say what a growing count holds.
// For the Wine bench: on Windows the name query can block on a pipe that a
// synchronous read holds, and Wine answers it at once.
static std::string ObjectText(QueryObjectProc query, HANDLE object, ULONG what) {
    std::vector<unsigned char> info(4096);
    ULONG got = 0;
    if (query(object, what, info.data(), (ULONG)info.size(), &got) != 0) return "?";
    const UNICODE_STRING* text = (const UNICODE_STRING*)info.data();
    char out[1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, text->Buffer, text->Length / 2, out, sizeof out, nullptr, nullptr);
    return std::string(out, length > 0 ? length : 0);
}

DRIVER_COMMAND(ProcessHandlesCommand, "process-handles", "PID (type and name of each handle)") {
    Args pos = Positional(args);
    int64_t pid;
    if (pos.size() != 1 || !ParseNumber(pos[0], &pid)) return DRIVER_USAGE;
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    QuerySystemProc query = (QuerySystemProc)(void*)GetProcAddress(ntdll, "NtQuerySystemInformation");
    QueryObjectProc queryObject = (QueryObjectProc)(void*)GetProcAddress(ntdll, "NtQueryObject");
    std::vector<USHORT> values;
    HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, (DWORD)pid);
    bool listed = process && query && queryObject && ListHandles(query, pid, &values);
    for (size_t i = 0; listed && i < values.size(); i++) {
        HANDLE copy;
        if (!DuplicateHandle(process, (HANDLE)(ULONG_PTR)values[i], GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS)) {
            printf("?\t\n");
            continue;
        }
        printf("%s\t%s\n", ObjectText(queryObject, copy, 2 /* ObjectTypeInformation */).c_str(),
               ObjectText(queryObject, copy, 1 /* ObjectNameInformation */).c_str());
        CloseHandle(copy);
    }
    if (process) CloseHandle(process);
    return listed ? DRIVER_OK : DRIVER_FAILED;
}
