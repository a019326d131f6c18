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
 * example "\\\\OTHERPC\\mailslot\\dout". Single-threaded use; on systems other
 * than Windows every call returns 0. */
#ifndef DOUT_H
#define DOUT_H

#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#ifndef DOUT_MAILSLOT
#define DOUT_MAILSLOT "\\\\.\\mailslot\\dout"
#endif

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
};

DOUT_API struct DoutState* DoutStateOf(void) {
    static struct DoutState state = {INVALID_HANDLE_VALUE, 0, 0};
    return &state;
}

/* Opens the slot unless it is open or was tried less than a second ago. */
DOUT_API int DoutOpen(struct DoutState* state) {
    DWORD now = GetTickCount();
    if (state->slot != INVALID_HANDLE_VALUE) return 1;
    if (state->tried && now - state->lastTry < 1000) return 0;
    state->tried = 1;
    state->lastTry = now;
    state->slot =
        CreateFileA(DOUT_MAILSLOT, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    return state->slot != INVALID_HANDLE_VALUE;
}

/* Sends `size` bytes as one message. 1 when sent, 0 otherwise. */
DOUT_API int DoutWrite(const void* data, size_t size) {
    struct DoutState* state = DoutStateOf();
    DWORD written = 0;
    if (size > 0xFFFFFFF0u || !DoutOpen(state)) return 0;
    if (WriteFile(state->slot, data, (DWORD)size, &written, NULL) && written == size) return 1;
    /* The monitor went away (or renamed its slot): reopen later. */
    CloseHandle(state->slot);
    state->slot = INVALID_HANDLE_VALUE;
    state->lastTry = GetTickCount();
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
