// The relays' send thread and stop window (see sender.h).
#include "sender.h"
#include <stdio.h>
#include "relaycore.h"

static SenderSetup setup;
static HANDLE thread;

// The lines between the threads, under outboxLock. outboxChanged wakes the
// send thread for new lines and a queuer for room.
static SRWLOCK outboxLock = SRWLOCK_INIT;
static CONDITION_VARIABLE outboxChanged = CONDITION_VARIABLE_INIT;
static RelayOutbox outbox;
static bool queueing = true;  // false: a queuer stops waiting for room
static bool finishing;        // true: the send thread ends once the outbox is empty

// The send thread's own state.
static DWORD lastTry;
static bool monitorSeen;  // a message has reached a monitor since the start
static bool monitorAway;  // reported missing, not yet back
static unsigned long long dropped, droppedWhileAway, sent;

void QueueLines(std::string* lines, size_t count) {
    if (!count) return;
    AcquireSRWLockExclusive(&outboxLock);
    bool wasEmpty = outbox.lines.empty();
    for (size_t i = 0; i < count; ++i) {
        while (RelayOutboxFull(outbox) && queueing) {
            WakeAllConditionVariable(&outboxChanged);
            SleepConditionVariableSRW(&outboxChanged, &outboxLock, INFINITE, 0);
            wasEmpty = outbox.lines.empty();
        }
        PushRelayLine(&outbox, std::move(lines[i]));
    }
    ReleaseSRWLockExclusive(&outboxLock);
    // Only a change the other thread may be waiting for wakes it.
    if (wasEmpty) WakeAllConditionVariable(&outboxChanged);
}

void QueueLine(std::string line) {
    QueueLines(&line, 1);
}

static void ReportMonitorAway(DWORD error) {
    if (monitorAway) return;
    monitorAway = true;
    const char* path = setup.slotPath.c_str();
    if (monitorSeen)
        fprintf(stderr, "%s: the monitor at %s went away; %ss are counted and dropped until it returns\n", setup.tool,
                path, setup.unit);
    else
        fprintf(stderr, "%s: no monitor at %s (error %lu); %ss are counted and dropped until one runs\n", setup.tool,
                path, error, setup.unit);
    if (setup.remoteHint) fprintf(stderr, "%s: " REMOTE_MAILSLOT_HINT "\n", setup.tool);
}

// Opens the mailslot for one message, or not at all while the monitor is
// away and the last try was too recent; says on stderr when it comes back.
// Every message opens it afresh: a handle kept open goes on taking writes
// after its monitor has exited (Wine drops them without an error), and the
// lines would be lost uncounted.
static HANDLE OpenSlot() {
    DWORD now = GetTickCount();
    if (monitorAway && now - lastTry < RELAY_RETRY_MS) return INVALID_HANDLE_VALUE;
    lastTry = now;
    HANDLE slot = CreateFileA(setup.slotPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (slot == INVALID_HANDLE_VALUE) {
        ReportMonitorAway(GetLastError());
        return slot;
    }
    if (monitorAway || !monitorSeen) {
        if (droppedWhileAway)
            fprintf(stderr, "%s: sending to %s; %llu %s%s dropped while the monitor was away\n", setup.tool,
                    setup.slotPath.c_str(), droppedWhileAway, setup.unit, droppedWhileAway == 1 ? " was" : "s were");
        else
            fprintf(stderr, "%s: sending to %s\n", setup.tool, setup.slotPath.c_str());
        droppedWhileAway = 0;
    }
    monitorAway = false;
    monitorSeen = true;
    return slot;
}

static bool SendToSlot(const std::string& message) {
    HANDLE slot = OpenSlot();
    if (slot == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool done = WriteFile(slot, message.data(), (DWORD)message.size(), &written, nullptr) && written == message.size();
    if (!done) ReportMonitorAway(GetLastError());
    CloseHandle(slot);
    return done;
}

static void CountDropped(size_t count) {
    dropped += count;
    droppedWhileAway += count;
}

// Whether the send thread has something to do now (under outboxLock). While
// the monitor is away it lets lines gather and looks again when the retry
// time comes, unless the outbox fills first.
static bool SenderHasWork() {
    if (finishing) return true;
    return monitorAway ? RelayOutboxFull(outbox) : !outbox.lines.empty();
}

static DWORD WINAPI SendThread(void*) {
    // A remote slot gets one line per message, as doutsend sends them; a
    // syslog server one message per item.
    size_t limit = setup.localSlot && !setup.syslog ? RELAY_MESSAGE_BYTES : 0;
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
            if (monitorAway) CountDropped(DropRelayLines(&outbox));
        }
        size_t count = TakeRelayMessage(&outbox, limit, &message);
        bool done = !count && finishing;
        ReleaseSRWLockExclusive(&outboxLock);
        if (wasFull) WakeAllConditionVariable(&outboxChanged);
        if (done) break;
        if (!count) continue;
        bool delivered = setup.syslog ? SendSyslog(setup.syslog, message) : SendToSlot(message);
        if (delivered)
            sent += count;
        else if (setup.syslog)
            dropped += count;  // the client counts its own time away
        else
            CountDropped(count);
    }
    return 0;
}

bool StartSender(const SenderSetup& wanted) {
    setup = wanted;
    thread = CreateThread(nullptr, 0, SendThread, nullptr, 0, nullptr);
    if (!thread) fprintf(stderr, "%s: cannot start (error %lu)\n", setup.tool, GetLastError());
    return thread != nullptr;
}

void StopQueueing() {
    AcquireSRWLockExclusive(&outboxLock);
    queueing = false;
    ReleaseSRWLockExclusive(&outboxLock);
    WakeAllConditionVariable(&outboxChanged);
}

unsigned long long StopSender(DWORD waitMs) {
    AcquireSRWLockExclusive(&outboxLock);
    finishing = true;
    ReleaseSRWLockExclusive(&outboxLock);
    WakeAllConditionVariable(&outboxChanged);
    if (WaitForSingleObject(thread, waitMs) != WAIT_OBJECT_0) {
        fprintf(stderr, "%s: the %s did not take the last %ss in time\n", setup.tool,
                setup.syslog ? "syslog server" : "monitor", setup.unit);
        return sent;
    }
    if (!setup.syslog && droppedWhileAway)
        fprintf(stderr, "%s: %llu %s%s dropped while the monitor was away\n", setup.tool, droppedWhileAway, setup.unit,
                droppedWhileAway == 1 ? " was" : "s were");
    return sent;
}

unsigned long long SenderDropped() {
    return dropped;
}

// --- the stop window ---------------------------------------------------------

static HWND stopWindow;
static HANDLE stopped;  // set once the relay has shut down, for the console handler

static LRESULT CALLBACK StopWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
    PostMessageA(stopWindow, WM_CLOSE, 0, 0);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stopped, RELAY_STOP_WAIT_MS + 1000);
    return TRUE;
}

HWND CreateStopWindow(const char* windowClass, const char* title) {
    stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = StopWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = windowClass;
    if (!stopped || !RegisterClassA(&wc)) return nullptr;
    stopWindow = CreateWindowExA(0, windowClass, title, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, wc.hInstance, nullptr);
    if (stopWindow) SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return stopWindow;
}

void RunUntilStopped() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
}

void SignalStopped() {
    SetEvent(stopped);
}
