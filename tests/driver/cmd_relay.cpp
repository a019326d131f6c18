// Writers of the system's debug output, for the relay's tests: strings through
// OutputDebugString, a timed stream of them, and a hostile writer that fills
// the shared buffer to its last byte without a NUL.
#include "driver.h"
#include <stdio.h>

// One string. The bytes are ANSI (CP932) or, with --hex, given in hex;
// --wide sends them through OutputDebugStringW. Prints the writer's pid.
DRIVER_COMMAND(DebugStringCommand, "ods", "(TEXT | --hex HEX) [--wide]") {
    Args pos = Positional(args);
    std::string text;
    if (HasFlag(args, "--hex")) {
        if (!DecodeHex(Option(args, "--hex", ""), &text)) return DRIVER_USAGE;
    } else if (pos.size() == 1) {
        text = pos[0];
    } else {
        return DRIVER_USAGE;
    }
    if (HasFlag(args, "--wide")) {
        std::wstring wide(text.size() + 1, L'\0');
        int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], (int)wide.size());
        if (n <= 0) return DRIVER_FAILED;
        OutputDebugStringW(wide.c_str());
    } else {
        OutputDebugStringA(text.c_str());
    }
    printf("%lu\n", (unsigned long)GetCurrentProcessId());
    return DRIVER_OK;
}

// COUNT strings "TAG 000000\r\n", "TAG 000001\r\n", ...; prints the pid and
// the calls per second.
DRIVER_COMMAND(DebugFloodCommand, "ods-flood", "COUNT TAG") {
    Args pos = Positional(args);
    int64_t count;
    if (pos.size() != 2 || !ParseNumber(pos[0], &count) || count < 0) return DRIVER_USAGE;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    char line[128];
    for (int64_t i = 0; i < count; ++i) {
        snprintf(line, sizeof line, "%s %06lld\r\n", pos[1].c_str(), (long long)i);
        OutputDebugStringA(line);
    }
    QueryPerformanceCounter(&end);
    double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
    printf("pid=%lu\ncalls_per_s=%.0f\n", (unsigned long)GetCurrentProcessId(), seconds > 0 ? count / seconds : 0.0);
    return DRIVER_OK;
}

// Fills the whole shared buffer after the pid with FILL bytes, leaving no
// NUL, as only a hostile or broken writer would.
DRIVER_COMMAND(DebugBufferFillCommand, "dbwin-fill", "CHAR [--timeout MS]") {
    Args pos = Positional(args);
    if (pos.size() != 1 || pos[0].size() != 1) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", 5000);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "DBWinMutex");
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, "DBWIN_BUFFER");
    HANDLE bufferReady = OpenEventA(SYNCHRONIZE, FALSE, "DBWIN_BUFFER_READY");
    HANDLE dataReady = OpenEventA(EVENT_MODIFY_STATE, FALSE, "DBWIN_DATA_READY");
    unsigned char* buffer = mapping ? (unsigned char*)MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096) : nullptr;
    int rc = DRIVER_FAILED;
    if (mutex && buffer && bufferReady && dataReady && WaitForSingleObject(mutex, timeout) == WAIT_OBJECT_0) {
        if (WaitForSingleObject(bufferReady, timeout) == WAIT_OBJECT_0) {
            DWORD pid = GetCurrentProcessId();
            memcpy(buffer, &pid, 4);
            memset(buffer + 4, pos[0][0], 4092);
            SetEvent(dataReady);
            rc = DRIVER_OK;
        } else {
            rc = DRIVER_TIMEOUT;
        }
        ReleaseMutex(mutex);
    }
    if (buffer) UnmapViewOfFile(buffer);
    for (HANDLE handle : {mutex, mapping, bufferReady, dataReady})
        if (handle) CloseHandle(handle);
    return rc;
}

// A bare reader of the debug output, the baseline of the relay's benchmark:
// owns the channel, says "ready", then hands the buffer back as soon as each
// of COUNT strings arrives, and prints how many came.
DRIVER_COMMAND(DebugDrainCommand, "dbwin-drain", "COUNT [--timeout MS]") {
    Args pos = Positional(args);
    int64_t count;
    if (pos.size() != 1 || !ParseNumber(pos[0], &count)) return DRIVER_USAGE;
    DWORD timeout = (DWORD)NumberOption(args, "--timeout", 60000);
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "DBWIN_BUFFER");
    HANDLE bufferReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY");
    HANDLE dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
    if (!mapping || !bufferReady || !dataReady) return DRIVER_FAILED;
    printf("ready\n");
    fflush(stdout);
    int64_t got = 0;
    SetEvent(bufferReady);
    while (got < count && WaitForSingleObject(dataReady, timeout) == WAIT_OBJECT_0) {
        SetEvent(bufferReady);
        ++got;
    }
    printf("strings=%lld\n", (long long)got);
    for (HANDLE handle : {mapping, bufferReady, dataReady}) CloseHandle(handle);
    return got == count ? DRIVER_OK : DRIVER_TIMEOUT;
}
