// dbgrelay: reads the system's debug-output channel (what programs write with
// OutputDebugString) and sends every string on to a monitor's mailslot, on
// this PC or another.
//
// Three threads. The capture thread copies each string out of the shared
// buffer and hands the buffer back at once, so a writer waits for the copy
// only; the send thread writes the waiting lines to the mailslot in order;
// the main thread owns a hidden window (WM_CLOSE, as taskkill sends it) and
// the orderly stop that releases the channel for the next reader.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <unordered_map>
#include "names.h"
#include "relaycore.h"
#include "settings.h"
#include "tovrel_version.h"

static const size_t kMaxNameLength = SETTINGS_NAME_SIZE - 1;  // what the monitor's name fields hold

#define RELAY_WINDOW_CLASS "TovrelRelay"
#define RELAY_STOP_WAIT_MS 5000  // what a stop gives the send thread to finish

struct Options {
    std::string host = ".";
    std::string slot = "dout";
    RelayFormat format;
    bool global = false;
};

static Options options;
static char slotPath[MAILSLOT_NAME_SIZE];

// The channel, owned while the relay runs.
static HANDLE bufferMapping, bufferReady, dataReady;
static const unsigned char* sharedBuffer;
static HANDLE stopCapture;  // set when the capture thread is to end

// The lines between the two threads, under outboxLock. outboxChanged wakes
// the send thread for new lines and the capture thread for room.
static SRWLOCK outboxLock = SRWLOCK_INIT;
static CONDITION_VARIABLE outboxChanged = CONDITION_VARIABLE_INIT;
static RelayOutbox outbox;
static bool capturing = true;  // false: the capture thread stops waiting for room
static bool finishing;         // true: the send thread ends once the outbox is empty
static unsigned long droppedAtExit;

static HWND relayWindow;
static HANDLE stopped;  // set when main has shut down, for the console handler

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: dbgrelay [--host PC] [--slot NAME] [--pid | --name] [--raw] [--global]\n"
            "       dbgrelay --help | --version\n"
            "Reads what programs write with OutputDebugString and sends each string to the\n"
            "mailslot \\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout), where the monitor\n"
            "shows it. A string that does not end its line gets CR LF, unless --raw.\n"
            "  --pid     puts the writer's process id in front: \"[1234] \"\n"
            "  --name    puts its id and executable name in front: \"[1234 app.exe] \"\n"
            "  --global  reads the output of services (the Global\\ objects); needs the\n"
            "            SeCreateGlobalPrivilege privilege (run as administrator)\n"
            "Runs until Ctrl+C, the console's close, or WM_CLOSE (taskkill without /F).\n"
            "One program at a time can read the debug output. While the monitor is not\n"
            "there, strings are counted and dropped; the count is reported when it returns.\n"
            "Exit codes: 0 stopped, 1 the debug output could not be taken, 2 usage error.\n");
}

// 0 = run, 1 = --help, 2 = bad usage (reported), 3 = --version.
static int ParseArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return 1;
        if (arg == "--version") return 3;
        if (arg == "--pid") {
            options.format.pid = true;
        } else if (arg == "--name") {
            options.format.name = true;
        } else if (arg == "--raw") {
            options.format.raw = true;
        } else if (arg == "--global") {
            options.global = true;
        } else if (arg == "--host" || arg == "--slot") {
            if (i + 1 >= argc) {
                fprintf(stderr, "dbgrelay: %s needs a value\n", arg.c_str());
                return 2;
            }
            std::string value = argv[++i];
            if (value.empty() || value.size() > kMaxNameLength) {
                fprintf(stderr, "dbgrelay: %s must be 1 to %u characters\n", arg.c_str(), (unsigned)kMaxNameLength);
                return 2;
            }
            (arg == "--host" ? options.host : options.slot) = value;
        } else {
            fprintf(stderr, "dbgrelay: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    FormatMailslotName(options.host.c_str(), options.slot.c_str(), slotPath, sizeof slotPath);
    return 0;
}

// --- the channel ---------------------------------------------------------

// Creates one of the channel's objects; null (reported) when it cannot be
// created or another reader has it already.
static HANDLE CreateChannelObject(HANDLE created, const std::string& name) {
    DWORD error = GetLastError();
    if (created && error == ERROR_ALREADY_EXISTS) {
        // Only looked at, never touched: the other reader keeps its state.
        CloseHandle(created);
        fprintf(stderr, "dbgrelay: another program already reads the debug output (%s exists); close it first\n",
                name.c_str());
        return nullptr;
    }
    if (!created) {
        if (error == ERROR_ACCESS_DENIED && options.global)
            fprintf(stderr,
                    "dbgrelay: cannot create %s (error 5): reading the services' output needs the "
                    "SeCreateGlobalPrivilege privilege (run as administrator)\n",
                    name.c_str());
        else
            fprintf(stderr, "dbgrelay: cannot create %s (error %lu)\n", name.c_str(), error);
    }
    return created;
}

static void CloseChannel() {
    if (sharedBuffer) UnmapViewOfFile(sharedBuffer);
    HANDLE* handles[] = {&bufferMapping, &bufferReady, &dataReady};
    for (HANDLE* handle : handles) {
        if (*handle) CloseHandle(*handle);
        *handle = nullptr;
    }
    sharedBuffer = nullptr;
}

static bool OpenChannel() {
    // Writers of any account must be able to open the objects (services, with
    // --global), so they carry no DACL; nothing read from them is trusted.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES security = {sizeof security, &descriptor, FALSE};
    std::string prefix = options.global ? "Global\\" : "";
    std::string names[] = {prefix + "DBWIN_BUFFER", prefix + "DBWIN_BUFFER_READY", prefix + "DBWIN_DATA_READY"};
    bufferMapping = CreateChannelObject(
        CreateFileMappingA(INVALID_HANDLE_VALUE, &security, PAGE_READWRITE, 0, DBWIN_BUFFER_BYTES, names[0].c_str()),
        names[0]);
    if (bufferMapping)
        bufferReady = CreateChannelObject(CreateEventA(&security, FALSE, FALSE, names[1].c_str()), names[1]);
    if (bufferReady) dataReady = CreateChannelObject(CreateEventA(&security, FALSE, FALSE, names[2].c_str()), names[2]);
    if (dataReady)
        sharedBuffer = static_cast<const unsigned char*>(MapViewOfFile(bufferMapping, FILE_MAP_READ, 0, 0, 0));
    if (!sharedBuffer) {
        if (dataReady) fprintf(stderr, "dbgrelay: cannot map %s (error %lu)\n", names[0].c_str(), GetLastError());
        CloseChannel();
        return false;
    }
    return true;
}

// --- the capture thread ----------------------------------------------------

static std::unordered_map<uint32_t, std::string> executableNames;

// The writer's executable name, looked up once per process id.
static const std::string& NameOfProcess(uint32_t pid) {
    auto known = executableNames.find(pid);
    if (known != executableNames.end()) return known->second;
    if (executableNames.size() >= RELAY_NAME_CACHE_SIZE) executableNames.clear();
    std::string name = "?";
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        char path[MAX_PATH];
        DWORD size = sizeof path;
        if (QueryFullProcessImageNameA(process, 0, path, &size)) name = ExecutableName(std::string(path, size));
        CloseHandle(process);
    }
    return executableNames[pid] = name;
}

// Hands a line to the send thread; while the outbox is full, waits for room
// (the next writer then waits for the buffer) rather than drop it. Only a
// change the other thread may be waiting for wakes it.
static void QueueLine(std::string line) {
    AcquireSRWLockExclusive(&outboxLock);
    while (RelayOutboxFull(outbox) && capturing) {
        WakeAllConditionVariable(&outboxChanged);
        SleepConditionVariableSRW(&outboxChanged, &outboxLock, INFINITE, 0);
    }
    bool wasEmpty = outbox.lines.empty();
    PushRelayLine(&outbox, std::move(line));
    ReleaseSRWLockExclusive(&outboxLock);
    if (wasEmpty) WakeAllConditionVariable(&outboxChanged);
}

static DWORD WINAPI CaptureThread(void*) {
    HANDLE waits[] = {dataReady, stopCapture};
    static unsigned char copy[DBWIN_BUFFER_BYTES];
    SetEvent(bufferReady);
    while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
        memcpy(copy, sharedBuffer, sizeof copy);
        SetEvent(bufferReady);
        DebugString string;
        ReadDebugBuffer(copy, sizeof copy, &string);
        std::string line;
        AppendRelayLine(options.format, string, options.format.name ? NameOfProcess(string.pid) : std::string(), &line);
        QueueLine(std::move(line));
    }
    return 0;
}

// --- the send thread -------------------------------------------------------

static DWORD lastTry;
static bool monitorSeen;  // a message has reached a monitor since the start
static bool monitorAway;  // reported missing, not yet back
static unsigned long dropped;

static void ReportMonitorAway(DWORD error) {
    if (monitorAway) return;
    monitorAway = true;
    if (monitorSeen)
        fprintf(stderr, "dbgrelay: the monitor at %s went away; strings are counted and dropped until it returns\n",
                slotPath);
    else
        fprintf(stderr, "dbgrelay: no monitor at %s (error %lu); strings are counted and dropped until one runs\n",
                slotPath, error);
}

// Opens the mailslot for one message, or not at all while the monitor is
// away and the last try was too recent; says on stderr when it comes back.
// Every message opens it afresh: a handle kept open goes on taking writes
// after its monitor has exited (Wine drops them without an error), and the
// strings would be lost uncounted.
static HANDLE OpenSlot() {
    DWORD now = GetTickCount();
    if (monitorAway && now - lastTry < RELAY_RETRY_MS) return INVALID_HANDLE_VALUE;
    lastTry = now;
    HANDLE slot =
        CreateFileA(slotPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        ReportMonitorAway(GetLastError());
        return slot;
    }
    if (monitorAway || !monitorSeen) {
        if (dropped)
            fprintf(stderr, "dbgrelay: sending to %s; %lu string%s dropped while the monitor was away\n", slotPath,
                    dropped, dropped == 1 ? " was" : "s were");
        else
            fprintf(stderr, "dbgrelay: sending to %s\n", slotPath);
        dropped = 0;
    }
    monitorAway = false;
    monitorSeen = true;
    return slot;
}

static bool SendToSlot(const std::string& message) {
    HANDLE slot = OpenSlot();
    if (slot == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool sent = WriteFile(slot, message.data(), (DWORD)message.size(), &written, nullptr) && written == message.size();
    if (!sent) ReportMonitorAway(GetLastError());
    CloseHandle(slot);
    return sent;
}

// Whether the send thread has something to do now (under outboxLock). While
// the monitor is away it lets lines gather and looks again when the retry
// time comes, unless the outbox fills first.
static bool SenderHasWork() {
    if (finishing) return true;
    return monitorAway ? RelayOutboxFull(outbox) : !outbox.lines.empty();
}

static DWORD WINAPI SendThread(void*) {
    // A remote slot gets one string per message, as doutsend sends lines.
    size_t limit = options.host == "." ? RELAY_MESSAGE_BYTES : 0;
    std::string message;
    for (;;) {
        AcquireSRWLockExclusive(&outboxLock);
        while (!SenderHasWork()) {
            DWORD wait = monitorAway ? RELAY_RETRY_MS : INFINITE;
            if (!SleepConditionVariableSRW(&outboxChanged, &outboxLock, wait, 0)) break;  // time to look again
        }
        bool wasFull = RelayOutboxFull(outbox);
        if (monitorAway) {
            ReleaseSRWLockExclusive(&outboxLock);
            HANDLE slot = OpenSlot();
            if (slot != INVALID_HANDLE_VALUE) CloseHandle(slot);
            AcquireSRWLockExclusive(&outboxLock);
            if (monitorAway) dropped += (unsigned long)DropRelayLines(&outbox);
        }
        size_t count = TakeRelayMessage(&outbox, limit, &message);
        bool done = !count && finishing;
        ReleaseSRWLockExclusive(&outboxLock);
        if (wasFull) WakeAllConditionVariable(&outboxChanged);
        if (done) break;
        if (count && !SendToSlot(message)) dropped += (unsigned long)count;
    }
    droppedAtExit = dropped;
    return 0;
}

// --- the main thread -----------------------------------------------------

static LRESULT CALLBACK RelayWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// Ctrl+C, Ctrl+Break and the console's close end the relay through its
// window, in order; for a close the system ends the process once the
// handler returns, so it waits for the stop.
static BOOL WINAPI OnConsoleControl(DWORD event) {
    PostMessageA(relayWindow, WM_CLOSE, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stopped, RELAY_STOP_WAIT_MS + 1000);
    return TRUE;
}

static HWND CreateRelayWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RelayWndProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = RELAY_WINDOW_CLASS;
    if (!RegisterClassA(&windowClass)) return nullptr;
    return CreateWindowExA(0, RELAY_WINDOW_CLASS, "dbgrelay", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

static void StopThreads(HANDLE capture, HANDLE sender) {
    SetEvent(stopCapture);
    AcquireSRWLockExclusive(&outboxLock);
    capturing = false;
    ReleaseSRWLockExclusive(&outboxLock);
    WakeAllConditionVariable(&outboxChanged);
    WaitForSingleObject(capture, INFINITE);
    // The channel is free for the next reader before the last lines go out.
    CloseChannel();
    AcquireSRWLockExclusive(&outboxLock);
    finishing = true;
    ReleaseSRWLockExclusive(&outboxLock);
    WakeAllConditionVariable(&outboxChanged);
    if (WaitForSingleObject(sender, RELAY_STOP_WAIT_MS) != WAIT_OBJECT_0)
        fprintf(stderr, "dbgrelay: the monitor did not take the last strings in time\n");
    else if (droppedAtExit)
        fprintf(stderr, "dbgrelay: %lu string%s dropped while the monitor was away\n", droppedAtExit,
                droppedAtExit == 1 ? " was" : "s were");
}

int main(int argc, char** argv) {
    int parsed = ParseArguments(argc, argv);
    if (parsed == 1) {
        PrintUsage(stdout);
        return 0;
    }
    if (parsed == 3) {
        printf("dbgrelay %s\n", TOVREL_VERSION);
        return 0;
    }
    if (parsed != 0) {
        PrintUsage(stderr);
        return 2;
    }
    stopCapture = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    relayWindow = CreateRelayWindow();
    if (!stopCapture || !stopped || !relayWindow) {
        fprintf(stderr, "dbgrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    if (!OpenChannel()) return 1;
    fprintf(stderr, "dbgrelay: relaying the debug output to %s; Ctrl+C stops\n", slotPath);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    HANDLE sender = CreateThread(nullptr, 0, SendThread, nullptr, 0, nullptr);
    HANDLE capture = CreateThread(nullptr, 0, CaptureThread, nullptr, 0, nullptr);
    if (!sender || !capture) {
        fprintf(stderr, "dbgrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    StopThreads(capture, sender);
    SetEvent(stopped);
    return 0;
}
