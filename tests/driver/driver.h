// The test driver: a Win32 console program that the end-to-end tests run under
// Wine beside the programs under test. It finds their windows, sends them
// messages, writes to mailslots and reads back what they show. Each command
// prints its answer on stdout and returns an exit code (0 = done, 1 = failed,
// 2 = bad usage, 3 = timed out). Areas of the tests add commands in files of
// their own with DRIVER_COMMAND.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <string>
#include <vector>

enum { DRIVER_OK = 0, DRIVER_FAILED = 1, DRIVER_USAGE = 2, DRIVER_TIMEOUT = 3 };

typedef std::vector<std::string> Args;  // the command's arguments, name excluded
typedef int (*DriverCommandProc)(const Args& args);

struct DriverCommandEntry {
    const char* name;
    const char* usage;
    DriverCommandProc run;
    DriverCommandEntry* next;
};

// Adds a command to the table; used through DRIVER_COMMAND.
struct DriverCommandRegistration {
    DriverCommandRegistration(DriverCommandEntry* entry);
};

// DRIVER_COMMAND(find_window, "find-window", "CLASS [--title T]") { ... }
#define DRIVER_COMMAND(ident, name, usage)                                   \
    static int ident(const Args& args);                                      \
    static DriverCommandEntry ident##_entry = {name, usage, ident, nullptr}; \
    static DriverCommandRegistration ident##_registration(&ident##_entry);   \
    static int ident(const Args& args)

// Argument helpers. Numbers accept decimal, negative decimal and 0x hex.
bool ParseNumber(const std::string& text, int64_t* value);
HWND ParseWindow(const std::string& text);
// "0d0a" to its bytes; false on odd length or a non-hex digit.
bool DecodeHex(const std::string& hex, std::string* bytes);  // null when not a number
std::string FormatWindow(HWND window);                       // "0x1234"
// Value of "--name VALUE" among args (removed from the positional list that
// Positional returns), or the fallback.
std::string Option(const Args& args, const char* name, const char* fallback);
int64_t NumberOption(const Args& args, const char* name, int64_t fallback);
bool HasFlag(const Args& args, const char* name);
Args Positional(const Args& args);

// Polls `test` every 20 ms until it answers true or `timeoutMs` passes,
// pumping this thread's messages meanwhile.
template <class Test>
bool WaitFor(DWORD timeoutMs, Test test) {
    DWORD start = GetTickCount();
    for (;;) {
        if (test()) return true;
        if (GetTickCount() - start >= timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
        Sleep(20);  // another process's windows and files signal nothing this one can wait on
    }
}

// Top-level windows of a class (any class when null), optionally of a title
// and a process id (0 = any).
std::vector<HWND> FindTopWindows(const char* className, const char* title, DWORD pid);

// Text of a window through WM_GETTEXT with a time limit; raw ANSI bytes.
bool ReadWindowText(HWND window, std::string* text);

// Prints raw bytes to stdout exactly (no CRLF translation).
void PrintBytes(const std::string& bytes);
