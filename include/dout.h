/* A one-header client for sending debug text to a running monitor.
 *
 *     #include "dout.h"
 *     DoutPrintf("frame %d took %d ms\r\n", frame, ms);
 *     DoutWrite(bytes, size);
 *
 * Each call sends one mailslot message. The mailslot is opened on first use;
 * when no monitor runs the calls return 0 and do nothing else, and opening is
 * tried again at most once a second, so leaving the calls in costs little.
 * Define DOUT_MAILSLOT before the include to write to another slot, for
 * example "\\\\OTHERPC\\mailslot\\dout", or call DoutSetTarget at run time.
 * Define DOUT_CLOCK() to replace the millisecond clock behind the retry
 * pause (GetTickCount by default). Single-threaded use; on systems other
 * than Windows every call returns 0.
 *
 * The slot name is built here as the monitor builds it; this header stands
 * alone so that a writer needs nothing else. */
#ifndef DOUT_H
#define DOUT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifndef DOUT_MAILSLOT
#define DOUT_MAILSLOT "\\\\.\\mailslot\\dout"
#endif
#ifndef DOUT_CLOCK
#define DOUT_CLOCK() GetTickCount()
#endif

#define DOUT_NAME_MAX    63   /* bytes in a host or slot name */
#define DOUT_RETRY_MS    1000 /* least time between two tries to open */
#define DOUT_MESSAGE_MAX 0xFFFFFFF0u

#if defined(__cplusplus)
#define DOUT_API inline
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L
#define DOUT_API static inline
#else
#define DOUT_API static __inline
#endif

#ifdef _WIN32
#include <windows.h>

struct DoutState {
    HANDLE slot;
    DWORD lastTry;
    int tried;
    char name[2 + DOUT_NAME_MAX + 10 + DOUT_NAME_MAX + 1];
};

DOUT_API struct DoutState* DoutStateOf(void) {
    static struct DoutState state = {INVALID_HANDLE_VALUE, 0, 0, DOUT_MAILSLOT};
    return &state;
}

DOUT_API void DoutClose(struct DoutState* state) {
    if (state->slot != INVALID_HANDLE_VALUE) CloseHandle(state->slot);
    state->slot = INVALID_HANDLE_VALUE;
}

/* Opens the slot unless it is open or was tried less than DOUT_RETRY_MS
 * ago. A failed open leaves its error in GetLastError. */
DOUT_API int DoutOpen(struct DoutState* state) {
    DWORD clock = DOUT_CLOCK();
    if (state->slot != INVALID_HANDLE_VALUE) return 1;
    if (state->tried && clock - state->lastTry < DOUT_RETRY_MS) return 0;
    state->tried = 1;
    state->lastTry = clock;
    state->slot =
        CreateFileA(state->name, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return state->slot != INVALID_HANDLE_VALUE;
}

/* Writes to "\\\\HOST\\mailslot\\SLOT" from now on (HOST "." is this PC, "*"
 * the domain). 0, target unchanged, unless both are 1 to DOUT_NAME_MAX
 * bytes. */
DOUT_API int DoutSetTarget(const char* host, const char* slot) {
    struct DoutState* state = DoutStateOf();
    size_t hostLength = strlen(host), slotLength = strlen(slot);
    if (!hostLength || hostLength > DOUT_NAME_MAX || !slotLength || slotLength > DOUT_NAME_MAX) return 0;
    DoutClose(state);
    state->tried = 0;
    sprintf(state->name, "\\\\%s\\mailslot\\%s", host, slot);
    return 1;
}

/* The slot name written to. */
DOUT_API const char* DoutTargetName(void) {
    return DoutStateOf()->name;
}

/* Opens the slot now, whenever it was last tried: 1 when it is open. */
DOUT_API int DoutConnect(void) {
    struct DoutState* state = DoutStateOf();
    state->tried = 0;
    return DoutOpen(state);
}

/* Sends `size` bytes as one message. 1 when sent, 0 otherwise (the write's
 * error left in GetLastError). */
DOUT_API int DoutWrite(const void* data, size_t size) {
    struct DoutState* state = DoutStateOf();
    DWORD written = 0, error;
    if (size > DOUT_MESSAGE_MAX || !DoutOpen(state)) return 0;
    if (WriteFile(state->slot, data, (DWORD)size, &written, NULL) && written == size) return 1;
    /* The monitor went away (or renamed its slot): reopen later. */
    error = GetLastError();
    DoutClose(state);
    state->lastTry = DOUT_CLOCK();
    SetLastError(error);
    return 0;
}
#else
DOUT_API int DoutWrite(const void* data, size_t size) {
    (void)data;
    (void)size;
    return 0;
}
#endif

/* Formats like printf and sends the text (without its NUL) as one message. */
DOUT_API int DoutPrintf(const char* format, ...) {
    char local[1024];
    char* text = local;
    int length, sent;
    va_list args;
    va_start(args, format);
    length = vsnprintf(local, sizeof local, format, args);
    va_end(args);
    if (length < 0) return 0;
    if ((size_t)length >= sizeof local) {
        text = (char*)malloc((size_t)length + 1);
        if (!text) return 0;
        va_start(args, format);
        vsnprintf(text, (size_t)length + 1, format, args);
        va_end(args);
    }
    sent = DoutWrite(text, (size_t)length);
    if (text != local) free(text);
    return sent;
}

#undef DOUT_API
#endif
