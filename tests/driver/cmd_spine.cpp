// Driver commands for the monitor's input side: holding a file open so the
// monitor cannot, showing a window, flooding a mailslot, a bare drain loop to
// compare the monitor against, timing the monitor's message loop and a
// program's start from outside, and an exercise of the dout.h client.
#define DOUT_MAILSLOT "\\\\.\\mailslot\\tvdout-client"
static unsigned long doutClock;  // the client's clock, moved on by hand below
#define DOUT_CLOCK() doutClock
#include "../../include/dout.h"
#include "settings.h"

// Writers name a slot with what the monitor's own name fields can hold.
static_assert(DOUT_NAME_MAX == SETTINGS_NAME_SIZE - 1, "dout.h and the settings block agree on name lengths");
#include "driver.h"
#include <stdio.h>
#include <string.h>
#include <map>

static std::map<std::string, HANDLE> heldFiles;

DRIVER_COMMAND(HoldFileCommand, "hold-file", "PATH (opens it without sharing until release-file)") {
    Args pos = Positional(args);
    if (pos.size() != 1 || heldFiles.count(pos[0])) return DRIVER_USAGE;
    HANDLE file = CreateFileA(pos[0].c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        printf("cannot open %s (error %lu)\n", pos[0].c_str(), (unsigned long)GetLastError());
        return DRIVER_FAILED;
    }
    heldFiles[pos[0]] = file;
    return DRIVER_OK;
}

DRIVER_COMMAND(ReleaseFileCommand, "release-file", "PATH") {
    Args pos = Positional(args);
    if (pos.size() != 1 || !heldFiles.count(pos[0])) return DRIVER_USAGE;
    CloseHandle(heldFiles[pos[0]]);
    heldFiles.erase(pos[0]);
    return DRIVER_OK;
}

DRIVER_COMMAND(ShowWindowCommand, "show-window", "HWND CMD (ShowWindow; prints iconic=0/1 after)") {
    Args pos = Positional(args);
    int64_t command;
    if (pos.size() != 2 || !ParseNumber(pos[1], &command)) return DRIVER_USAGE;
    HWND window = ParseWindow(pos[0]);
    if (!IsWindow(window)) return DRIVER_FAILED;
    ShowWindow(window, (int)command);
    printf("iconic=%d\n", IsIconic(window) ? 1 : 0);
    return DRIVER_OK;
}

// Message `index` of a flood: its number, filler, CR LF; exactly `size` bytes
// (size >= 12).
static void FloodMessage(std::string* message, long index, size_t size) {
    char head[16];
    snprintf(head, sizeof head, "%09ld ", index);
    message->assign(size, '.');
    memcpy(&(*message)[0], head, 10);
    (*message)[size - 2] = '\r';
    (*message)[size - 1] = '\n';
}

// Writes numbered messages until `count` are sent, or until `stopFile`
// exists (checked before each message) when one is named; with a rate, no
// more than that many a second. Returns how many went out, or -1 when the
// slot could not be opened or a write failed.
static long Flood(const char* name, long count, size_t size, const std::string& stopFile = "", int64_t rate = 0) {
    HANDLE slot =
        CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) return -1;
    std::string message;
    long sent = 0;
    DWORD start = GetTickCount();
    for (; sent < count; ++sent) {
        if (!stopFile.empty() && GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        // Paced: message n is due n / rate seconds after the start. The 1 ms
        // sleep is the pacing itself; there is no event to wait for.
        while (rate > 0 && (int64_t)(GetTickCount() - start) * rate < (int64_t)sent * 1000) Sleep(1);
        FloodMessage(&message, sent, size);
        DWORD written = 0;
        if (!WriteFile(slot, message.data(), (DWORD)size, &written, nullptr) || written != size) {
            sent = -1;
            break;
        }
    }
    CloseHandle(slot);
    return sent;
}

static bool ParseFloodArgs(const Args& args, std::string* name, long* count, size_t* size) {
    Args pos = Positional(args);
    int64_t n, s;
    if (pos.size() != 3 || !ParseNumber(pos[1], &n) || !ParseNumber(pos[2], &s) || n < 1 || s < 12) return false;
    *name = pos[0];
    *count = (long)n;
    *size = (size_t)s;
    return true;
}

DRIVER_COMMAND(FloodCommand, "mailslot-flood",
               "NAME COUNT SIZE [--stop-file PATH] [--rate N] (numbered messages; prints ms, messages)") {
    std::string name;
    long count;
    size_t size;
    if (!ParseFloodArgs(args, &name, &count, &size)) return DRIVER_USAGE;
    DWORD start = GetTickCount();
    long sent = Flood(name.c_str(), count, size, Option(args, "--stop-file", ""), NumberOption(args, "--rate", 0));
    if (sent < 0) return DRIVER_FAILED;
    printf("ms=%lu\nmessages=%ld\n", (unsigned long)(GetTickCount() - start), sent);
    return DRIVER_OK;
}

struct FloodJob {
    std::string name;
    long count;
    size_t size;
    bool ok;
};

static DWORD WINAPI FloodThread(void* context) {
    FloodJob* job = static_cast<FloodJob*>(context);
    job->ok = Flood(job->name.c_str(), job->count, job->size) == job->count;
    return 0;
}

// Reads the next message into `buffer`: 1 when one was read, 0 when the slot
// is empty, -1 on failure. Asks the slot first unless `oneCall`, in which
// case an empty slot shows as a read that timed out.
static int DrainOne(HANDLE slot, bool oneCall, std::string* buffer, DWORD* read) {
    if (!oneCall) {
        DWORD next = 0;
        if (!GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr)) return -1;
        if (next == MAILSLOT_NO_MESSAGE) return 0;
    }
    if (ReadFile(slot, &(*buffer)[0], (DWORD)buffer->size(), read, nullptr)) return 1;
    return oneCall && GetLastError() == ERROR_SEM_TIMEOUT ? 0 : -1;
}

// The least a reader can do: create the slot, then only GetMailslotInfo and
// ReadFile, while a writer thread floods it the same way mailslot-flood does
// (with --external, a mailslot-flood in another process: the clock starts at
// the first message). With --one-call it only reads, into a buffer of 64 KiB,
// and never asks: one call a message. Checks every message and prints the
// time from the first write to the last read.
DRIVER_COMMAND(DrainCommand, "drain-bench",
               "NAME COUNT SIZE [--timeout MS] [--external] [--one-call] (prints ms, messages, bytes)") {
    FloodJob job;
    if (!ParseFloodArgs(args, &job.name, &job.count, &job.size)) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", 600000);
    HANDLE slot = CreateMailslotA(job.name.c_str(), 0, 0, nullptr);
    if (slot == INVALID_HANDLE_VALUE) return DRIVER_FAILED;
    bool oneCall = HasFlag(args, "--one-call");
    std::string buffer(oneCall ? 64 * 1024 + 1 : job.size + 1, 0), expected;
    bool external = HasFlag(args, "--external");
    DWORD start = GetTickCount();
    HANDLE writer = nullptr;
    if (external) {
        printf("ready\n");
        fflush(stdout);
        DWORD next = MAILSLOT_NO_MESSAGE;
        while (GetMailslotInfo(slot, nullptr, &next, nullptr, nullptr) && next == MAILSLOT_NO_MESSAGE &&
               GetTickCount() - start < timeout)
            Sleep(0);  // a mailslot has no event for "a message came": a reader can only poll
        start = GetTickCount();
        job.ok = true;
    } else {
        writer = CreateThread(nullptr, 0, FloodThread, &job, 0, nullptr);
    }
    long received = 0, bad = 0;
    unsigned long long bytes = 0;
    while (received < job.count && GetTickCount() - start < timeout) {
        DWORD read = 0;
        int got = DrainOne(slot, oneCall, &buffer, &read);
        if (got < 0) break;
        if (got == 0) {
            // A writer that gave up (Wine refuses messages over about 200 KB)
            // sends nothing more.
            if (writer && WaitForSingleObject(writer, 0) == WAIT_OBJECT_0) break;
            Sleep(0);  // a mailslot has no event for "a message came": a reader can only poll
            continue;
        }
        FloodMessage(&expected, received, job.size);
        if (read != job.size || memcmp(buffer.data(), expected.data(), read) != 0) ++bad;
        bytes += read;
        ++received;
    }
    DWORD elapsed = GetTickCount() - start;
    if (writer) {
        WaitForSingleObject(writer, 60000);
        CloseHandle(writer);
    }
    CloseHandle(slot);
    printf("ms=%lu\nmessages=%ld\nbytes=%llu\nbad=%ld\n", (unsigned long)elapsed, received, bytes, bad);
    return received == job.count && bad == 0 && job.ok ? DRIVER_OK : DRIVER_FAILED;
}

static double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

static bool SlotOpens(const char* name) {
    HANDLE slot =
        CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) return false;
    CloseHandle(slot);
    return true;
}

// Times round trips of WM_NULL to a window for `MS` milliseconds (or until it
// goes away): the longest shows how long its thread was busy in one go.
DRIVER_COMMAND(PingCommand, "ping-loop", "HWND MS [--stop-file PATH] (prints max, count, over250)") {
    Args pos = Positional(args);
    int64_t duration;
    if (pos.size() != 2 || !ParseNumber(pos[1], &duration)) return DRIVER_USAGE;
    HWND window = ParseWindow(pos[0]);
    std::string stopFile = Option(args, "--stop-file", "");
    DWORD start = GetTickCount();
    DWORD longest = 0;
    long count = 0, over = 0;
    while (GetTickCount() - start < (DWORD)duration && IsWindow(window)) {
        if (!stopFile.empty() && GetFileAttributesA(stopFile.c_str()) != INVALID_FILE_ATTRIBUTES) break;
        LARGE_INTEGER sent;
        QueryPerformanceCounter(&sent);
        DWORD_PTR result = 0;
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, (UINT)duration, &result);
        DWORD ms = (DWORD)MillisecondsSince(sent);
        if (ms > longest) longest = ms;
        if (ms > 250) ++over;
        ++count;
        Sleep(5);  // the sampling period of the round trips
    }
    printf("max=%lu\ncount=%ld\nover250=%ld\n", (unsigned long)longest, count, over);
    fflush(stdout);
    return DRIVER_OK;
}

// Starts EXE in DIR and times, from CreateProcess, until a visible top-level
// window of CLASS and TITLE (with --width and --height, of that outer size)
// exists, and then until the mailslot of --slot can be opened; then ends the
// program. Started from here, a program's start is timed without this
// process's own start in it, and every program the same way.
DRIVER_COMMAND(TimeStartCommand, "time-start",
               "EXE DIR CLASS TITLE [--width W --height H] [--slot NAME] [--timeout MS] (prints window_ms, ready_ms)") {
    Args pos = Positional(args);
    if (pos.size() != 4) return DRIVER_USAGE;
    long width = (long)NumberOption(args, "--width", -1), height = (long)NumberOption(args, "--height", -1);
    std::string slot = Option(args, "--slot", "");
    double timeout = (double)NumberOption(args, "--timeout", 20000);
    std::string command = "\"" + pos[0] + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(pos[0].c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, pos[1].c_str(), &startup,
                        &process))
        return DRIVER_FAILED;
    double windowMs = -1, readyMs = -1;
    while (readyMs < 0 && MillisecondsSince(start) < timeout) {
        if (windowMs < 0) {
            for (HWND window : FindTopWindows(pos[2].c_str(), pos[3].c_str(), process.dwProcessId)) {
                RECT rect;
                if (IsWindowVisible(window) && GetWindowRect(window, &rect) &&
                    (width < 0 || (rect.right - rect.left == width && rect.bottom - rect.top == height)))
                    windowMs = MillisecondsSince(start);
            }
        }
        if (windowMs >= 0 && (slot.empty() || SlotOpens(slot.c_str()))) readyMs = MillisecondsSince(start);
        if (readyMs < 0) Sleep(1);  // another process's windows and mailslots signal nothing to wait on
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (readyMs < 0) return DRIVER_TIMEOUT;
    printf("window_ms=%.2f\nready_ms=%.2f\n", windowMs, readyMs);
    return DRIVER_OK;
}

// Runs the dout.h client against a slot of its own: silent while no reader
// exists, no new open attempt within a second of its clock, then delivery of
// short and long messages. Prints one line per step.
DRIVER_COMMAND(DoutClientCommand, "dout-client", "(exercises dout.h; prints step results)") {
    (void)args;
    int early = DoutPrintf("nobody %d\r\n", 1);
    HANDLE slot = CreateMailslotA(DOUT_MAILSLOT, 0, 0, nullptr);
    if (slot == INVALID_HANDLE_VALUE) return DRIVER_FAILED;
    doutClock += 999;
    int withinSecond = DoutWrite("soon", 4);
    doutClock += 1;
    int printed = DoutPrintf("hello %d %s\r\n", 42, "world");
    std::string big(3000, 'b');
    int longPrinted = DoutPrintf("%s!", big.c_str());
    int raw = DoutWrite("a\0b", 3);
    printf("early=%d\nwithin-second=%d\nprinted=%d\nlong=%d\nraw=%d\n", early, withinSecond, printed, longPrinted, raw);
    std::string buffer(8192, 0);
    for (;;) {
        DWORD next = 0, waiting = 0;
        if (!GetMailslotInfo(slot, nullptr, &next, &waiting, nullptr) || next == MAILSLOT_NO_MESSAGE) break;
        DWORD read = 0;
        if (!ReadFile(slot, &buffer[0], (DWORD)buffer.size(), &read, nullptr)) break;
        std::string message(buffer.data(), read);
        if (message.size() > 40) message = message.substr(0, 10) + "...(" + std::to_string(read) + ")";
        std::string shown;
        for (char c : message) shown += c == 0 ? "\\0" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        printf("got=%s\n", shown.c_str());
    }
    CloseHandle(slot);
    return DRIVER_OK;
}

// Whether a mailslot can be opened for writing; opening sends nothing.
DRIVER_COMMAND(MailslotExistsCommand, "mailslot-exists", "NAME [--timeout MS] (waits until it can be opened)") {
    Args pos = Positional(args);
    if (pos.size() != 1) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", 0);
    bool found = WaitFor(timeout, [&] { return SlotOpens(pos[0].c_str()); });
    return found ? DRIVER_OK : DRIVER_TIMEOUT;
}

// A mailslot kept by the driver, to see message boundaries: mailslot-open
// creates it, mailslot-read prints each waiting message as one hex line.
static std::map<std::string, HANDLE> openSlots;

DRIVER_COMMAND(MailslotOpenCommand, "mailslot-open", "NAME (creates and keeps a mailslot)") {
    Args pos = Positional(args);
    if (pos.size() != 1 || openSlots.count(pos[0])) return DRIVER_USAGE;
    HANDLE slot = CreateMailslotA(pos[0].c_str(), 0, 0, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        printf("cannot create %s (error %lu)\n", pos[0].c_str(), (unsigned long)GetLastError());
        return DRIVER_FAILED;
    }
    openSlots[pos[0]] = slot;
    return DRIVER_OK;
}

DRIVER_COMMAND(MailslotReadCommand, "mailslot-read", "NAME [--counts] (each waiting message as a hex line)") {
    Args pos = Positional(args);
    if (pos.size() != 1 || !openSlots.count(pos[0])) return DRIVER_USAGE;
    HANDLE slot = openSlots[pos[0]];
    for (;;) {
        DWORD next = 0, waiting = 0;
        if (!GetMailslotInfo(slot, nullptr, &next, &waiting, nullptr)) {
            printf("info failed (error %lu)\n", (unsigned long)GetLastError());
            return DRIVER_FAILED;
        }
        if (HasFlag(args, "--counts")) printf("next=%ld count=%lu\n", (long)next, (unsigned long)waiting);
        if (next == MAILSLOT_NO_MESSAGE) break;
        std::string buffer((size_t)next + 1, 0);
        DWORD read = 0;
        if (!ReadFile(slot, &buffer[0], (DWORD)buffer.size(), &read, nullptr)) {
            printf("read of %lu failed (error %lu)\n", (unsigned long)next, (unsigned long)GetLastError());
            return DRIVER_FAILED;
        }
        for (DWORD i = 0; i < read; ++i) printf("%02x", (unsigned char)buffer[i]);
        printf("\n");
    }
    return DRIVER_OK;
}

DRIVER_COMMAND(MailslotCloseCommand, "mailslot-close", "NAME") {
    Args pos = Positional(args);
    if (pos.size() != 1 || !openSlots.count(pos[0])) return DRIVER_USAGE;
    CloseHandle(openSlots[pos[0]]);
    openSlots.erase(pos[0]);
    return DRIVER_OK;
}
