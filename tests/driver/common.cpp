// Helpers shared by the driver's commands: argument parsing, window search,
// text reading and raw output.
#include "driver.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

bool ParseNumber(const std::string& text, int64_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long parsed = strtoll(text.c_str(), &end, 0);
    if (*end != '\0') return false;
    *value = parsed;
    return true;
}

HWND ParseWindow(const std::string& text) {
    int64_t value;
    if (!ParseNumber(text, &value)) return nullptr;
    return (HWND)(INT_PTR)value;
}

std::string FormatWindow(HWND window) {
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llx", (unsigned long long)(UINT_PTR)window);
    return buffer;
}

static bool IsOptionName(const std::string& arg) {
    return arg.size() > 2 && arg[0] == '-' && arg[1] == '-';
}

std::string Option(const Args& args, const char* name, const char* fallback) {
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == name) return args[i + 1];
    return fallback ? fallback : "";
}

int64_t NumberOption(const Args& args, const char* name, int64_t fallback) {
    int64_t value;
    std::string text = Option(args, name, "");
    return ParseNumber(text, &value) ? value : fallback;
}

bool HasFlag(const Args& args, const char* name) {
    for (const std::string& arg : args)
        if (arg == name) return true;
    return false;
}

// Options with a value are those followed by something; a trailing option, or
// one followed by another option, is a flag.
Args Positional(const Args& args) {
    Args out;
    for (size_t i = 0; i < args.size(); ++i) {
        if (IsOptionName(args[i])) {
            if (i + 1 < args.size() && !IsOptionName(args[i + 1])) ++i;
            continue;
        }
        out.push_back(args[i]);
    }
    return out;
}

struct WindowSearch {
    const char* className;
    const char* title;
    DWORD pid;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    WindowSearch* search = (WindowSearch*)lParam;
    char name[256];
    if (search->className) {
        if (!GetClassNameA(window, name, sizeof name) || lstrcmpiA(name, search->className) != 0) return TRUE;
    }
    if (search->title) {
        // GetWindowTextA reads another process's title without waiting on it.
        char text[512];
        GetWindowTextA(window, text, sizeof text);
        if (strcmp(text, search->title) != 0) return TRUE;
    }
    if (search->pid) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != search->pid) return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> FindTopWindows(const char* className, const char* title, DWORD pid) {
    WindowSearch search = {className, title, pid, {}};
    EnumWindows(CollectWindow, (LPARAM)&search);
    return search.found;
}

bool ReadWindowText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return false;
    std::vector<char> buffer(length + 2);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(), (LPARAM)buffer.data(), SMTO_ABORTIFHUNG, 5000, &copied))
        return false;
    text->assign(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
    return true;
}

void PrintBytes(const std::string& bytes) {
    fwrite(bytes.data(), 1, bytes.size(), stdout);
}

bool DecodeHex(const std::string& hex, std::string* bytes) {
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int64_t value;
        if (!ParseNumber("0x" + hex.substr(i, 2), &value)) return false;
        bytes->push_back((char)value);
    }
    return true;
}
