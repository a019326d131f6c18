// The monitor's input: on each poll tick, (re)creates the mailslot when asked,
// takes every waiting message, adds its text to the receive buffer, appends
// its bytes to log.txt while logging is on, and shows the buffer in the pane.
#include "monitor.h"
#include "names.h"
#include "recvbuf.h"

static ReceiveBuffer receiveBuffer;

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
    if (mailslotHandle == INVALID_HANDLE_VALUE)
        MessageBoxA(nullptr, "メールスロットの作成に失敗しました", name, MB_OK);
}

static bool WriteToFile(void* context, const unsigned char* data, size_t size, size_t* written) {
    DWORD chunk = size > 0x40000000 ? 0x40000000 : (DWORD)size;
    DWORD done = 0;
    BOOL ok = WriteFile((HANDLE)context, data, chunk, &done, nullptr);
    *written = done;
    return ok != FALSE;
}

// A write that fails or takes nothing ends this piece; logging stays on, so
// the next piece tries again.
static void AppendToLog(const unsigned char* piece, size_t size) {
    HANDLE file = OpenModuleFile(GENERIC_WRITE, "log", "txt");
    if (file == INVALID_HANDLE_VALUE) {
        settings.logToFile = 0;
        return;
    }
    LARGE_INTEGER zero = {};
    if (SetFilePointerEx(file, zero, nullptr, FILE_END)) WriteFully(WriteToFile, file, piece, size);
    CloseHandle(file);
}

static void RefreshPane(HWND pane) {
    SetWindowTextA(pane, ShownText(&receiveBuffer));
    LRESULT lines = SendMessageA(pane, EM_GETLINECOUNT, 0, 0);
    SendMessageA(pane, EM_LINESCROLL, 0, lines);
}

// Takes one message of `size` bytes off the mailslot and handles it. False
// when it could not be taken; it then waits for the next tick.
static bool ReceiveMessage(HWND pane, DWORD size) {
    // One spare byte lets a zero-byte message be read with a real buffer.
    SIZE_T capacity = (SIZE_T)size + 1;
    unsigned char* message = (unsigned char*)HeapAlloc(GetProcessHeap(), 0, capacity);
    if (!message) return false;
    DWORD read = 0;
    if (!ReadFile(mailslotHandle, message, (DWORD)(capacity > MAXDWORD ? MAXDWORD : capacity), &read, nullptr)) {
        HeapFree(GetProcessHeap(), 0, message);
        return false;
    }
    for (size_t offset = 0, length; (length = PieceLength(read, offset)) != 0; offset += length) {
        AppendPiece(&receiveBuffer, message + offset, length);
        if (settings.logToFile) AppendToLog(message + offset, length);
    }
    HeapFree(GetProcessHeap(), 0, message);
    RefreshPane(pane);
    return true;
}

void PollMailslot(HWND pane) {
    if (reopenMailslot) RecreateMailslot();
    if (mailslotHandle == INVALID_HANDLE_VALUE || !mailslotHandle) return;
    for (;;) {
        DWORD nextSize = 0, count = 0;
        if (!GetMailslotInfo(mailslotHandle, nullptr, &nextSize, &count, nullptr)) return;
        // The next size alone decides: Wine counts a waiting zero-byte message
        // as no message at all, and trusting that count would leave it (and
        // everything behind it) in the slot for good.
        if (nextSize == MAILSLOT_NO_MESSAGE) return;
        if (!ReceiveMessage(pane, nextSize)) return;
    }
}
