// The monitor's input: on each poll tick, (re)creates the mailslot when asked,
// then runs one tick (polltick.cpp) against the real mailslot, log.txt and
// pane. A tick that takes messages starts the follow-up timer, which runs
// until a tick finds the slot empty.
#include "monitor.h"
#include "names.h"
#include "polltick.h"

static ReceiveBuffer receiveBuffer;
static PaneShown paneShown;
static HANDLE logFile = INVALID_HANDLE_VALUE;  // open only inside a tick
static bool followUpTimerOn;

// One message buffer, kept between messages so a flood does not allocate for
// each; a large one is given back at the end of its tick.
static unsigned char* messageBuffer;
static SIZE_T messageCapacity;
// A read ahead offers at least room for 64 KiB: Wine keeps no longer message
// whole, and a shorter buffer there loses the message's rest instead of
// failing as Windows does.
static const SIZE_T firstReadCapacity = 64 * 1024 + 1;
static const SIZE_T keptMessageCapacity = firstReadCapacity;
static bool messageAhead;  // the buffer holds the next message, read but not yet taken
static DWORD aheadLength;
static bool slotBusy;  // the last look found a message: a flood is read without asking first

static void RecreateMailslot() {
    reopenMailslot = 0;
    if (mailslotHandle && mailslotHandle != INVALID_HANDLE_VALUE) CloseHandle(mailslotHandle);
    mailslotHandle = nullptr;
    char name[MAILSLOT_NAME_SIZE];
    if (!FormatMailslotName(settings.remotePc, settings.slotName, name, sizeof name)) {
        mailslotHandle = INVALID_HANDLE_VALUE;
    } else {
        mailslotHandle = CreateMailslotA(name, 0, 0, nullptr);
    }
    if (mailslotHandle == INVALID_HANDLE_VALUE) MessageBoxA(nullptr, "メールスロットの作成に失敗しました", name, MB_OK);
}

static bool ReserveMessageBuffer(SIZE_T capacity) {
    if (capacity <= messageCapacity) return true;
    void* grown = messageBuffer ? HeapReAlloc(GetProcessHeap(), 0, messageBuffer, capacity)
                                : HeapAlloc(GetProcessHeap(), 0, capacity);
    if (!grown) return false;
    messageBuffer = (unsigned char*)grown;
    messageCapacity = capacity;
    return true;
}

static void TrimMessageBuffer() {
    if (messageAhead || messageCapacity <= keptMessageCapacity) return;
    HeapFree(GetProcessHeap(), 0, messageBuffer);
    messageBuffer = nullptr;
    messageCapacity = 0;
}

// Reads the next message whole into the buffer; false when none could be
// read. One spare byte lets a zero-byte message be read with a real buffer.
static bool ReadAhead(SIZE_T capacity) {
    DWORD read = 0;
    if (!ReserveMessageBuffer(capacity) ||
        !ReadFile(mailslotHandle, messageBuffer, (DWORD)(messageCapacity > MAXDWORD ? MAXDWORD : messageCapacity),
                  &read, nullptr))
        return false;
    messageAhead = true;
    aheadLength = read;
    return true;
}

// Whether a message waits, and its size. In a flood the message is simply
// read into the buffer kept for it (one call a message, where asking the
// slot first would make two); the slot is asked when that read fails,
// because the slot is empty or the message is larger than the buffer, and
// first of all while the slot was last found empty, so that a quiet tick
// costs one call, not a failed read and then the question. The next size
// alone decides: Wine counts a waiting zero-byte message as no message at
// all, and trusting that count would leave it (and everything behind it) in
// the slot for good. A message read ahead waits in the buffer, for the next
// tick if this one ends first.
static SlotState QuerySlot(void*, uint32_t* size) {
    if (!messageAhead &&
        !(slotBusy && ReadAhead(messageCapacity > firstReadCapacity ? messageCapacity : firstReadCapacity))) {
        DWORD nextSize = 0, count = 0;
        if (!GetMailslotInfo(mailslotHandle, nullptr, &nextSize, &count, nullptr)) return SLOT_FAILED;
        slotBusy = nextSize != MAILSLOT_NO_MESSAGE;
        if (!slotBusy) return SLOT_EMPTY;
        if (!ReadAhead((SIZE_T)nextSize + 1)) return SLOT_FAILED;
    }
    *size = aheadLength;
    return SLOT_WAITING;
}

// Hands out the message QuerySlot read ahead.
static bool ReadMessage(void*, uint32_t, const unsigned char** data, size_t* length) {
    if (!messageAhead) return false;
    messageAhead = false;
    *data = messageBuffer;
    *length = aheadLength;
    return true;
}

// A file whose end cannot be found is closed again but counts as opened:
// its pieces then fail to write (logging stays on) rather than land over the
// start of the log.
static bool OpenLog(void*) {
    logFile = OpenModuleFile(GENERIC_WRITE, "log", "txt");
    if (logFile == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(logFile, zero, nullptr, FILE_END)) {
        CloseHandle(logFile);
        logFile = INVALID_HANDLE_VALUE;
    }
    return true;
}

static bool WriteLog(void*, const unsigned char* data, size_t size, size_t* written) {
    *written = 0;
    if (logFile == INVALID_HANDLE_VALUE) return false;
    DWORD chunk = size > 0x40000000 ? 0x40000000 : (DWORD)size;
    DWORD done = 0;
    BOOL ok = WriteFile(logFile, data, chunk, &done, nullptr);
    *written = done;
    return ok != FALSE;
}

static void CloseLog(void*) {
    if (logFile != INVALID_HANDLE_VALUE) CloseHandle(logFile);
    logFile = INVALID_HANDLE_VALUE;
}

// The EDIT control redraws its scroll bars at once on every change of text
// and scroll position, which under Wine's themed scroll bars costs far more
// than the text itself. With the pane's visible bit cleared for the moment
// of the change (what DefWindowProc does for WM_SETREDRAW; the EDIT's own
// handler would not) the whole pane is painted once, from the message loop.
// Text that only grew since the last refresh is appended at the end instead
// of being set whole; the caret and the scroll position then end where a
// full refresh leaves them.
static void RefreshPane(void* context, const char* text, size_t kept) {
    HWND pane = (HWND)context;
    bool shown = (GetWindowLongPtrA(pane, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown) DefWindowProcA(pane, WM_SETREDRAW, FALSE, 0);
    kept = PaneAppendStart(text, kept, IsAnsiLeadByte);
    if (kept == PANE_KEEPS_NOTHING) {
        SetWindowTextA(pane, text);
    } else {
        SendMessageA(pane, EM_SETSEL, RECV_BUFFER_SIZE, RECV_BUFFER_SIZE);  // the end: positions past it are clamped
        SendMessageA(pane, EM_REPLACESEL, FALSE, (LPARAM)(text + kept));
        SendMessageA(pane, EM_SETSEL, 0, 0);
        SendMessageA(pane, WM_HSCROLL, SB_LEFT, 0);
    }
    LRESULT lines = SendMessageA(pane, EM_GETLINECOUNT, 0, 0);
    SendMessageA(pane, EM_LINESCROLL, 0, lines);
    if (shown) {
        DefWindowProcA(pane, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(pane, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ERASE);
    }
}

// Microseconds of the performance counter, split so that the product never
// overflows however long the machine has run.
static uint64_t Now(void*) {
    static LARGE_INTEGER frequency;  // fixed at boot
    if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    uint64_t ticks = (uint64_t)count.QuadPart, perSecond = (uint64_t)frequency.QuadPart;
    return ticks / perSecond * 1000000u + ticks % perSecond * 1000000u / perSecond;
}

static void SetFollowUpTimer(HWND pane, bool on) {
    if (on == followUpTimerOn) return;
    if (on) {
        followUpTimerOn = SetTimer(pane, ID_FOLLOWUPTIMER, POLL_FOLLOWUP_PERIOD_MS, nullptr) != 0;
    } else {
        KillTimer(pane, ID_FOLLOWUPTIMER);
        followUpTimerOn = false;
    }
}

void StopPollTimers(HWND pane) {
    KillTimer(pane, ID_POLLTIMER);
    SetFollowUpTimer(pane, false);
}

// Starts the poll timer with the period of the settings block, replacing a
// running one and its follow-up.
void StartPollTimer(HWND pane) {
    StopPollTimers(pane);
    SetTimer(pane, ID_POLLTIMER, settings.pollPeriod, nullptr);
}

void PollMailslot(HWND pane) {
    if (reopenMailslot) RecreateMailslot();
    if (mailslotHandle == INVALID_HANDLE_VALUE || !mailslotHandle) {
        SetFollowUpTimer(pane, false);
        return;
    }
    PollPort port = {pane, QuerySlot, ReadMessage, OpenLog, WriteLog, CloseLog, RefreshPane, Now};
    TickResult tick = RunPollTick(&port, &receiveBuffer, &paneShown, &settings.logToFile);
    TrimMessageBuffer();
    SetFollowUpTimer(pane, NeedsFollowUp(&tick));
}
