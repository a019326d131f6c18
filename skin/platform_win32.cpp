// System services of the skin library on Windows: the process heap, and
// whole-file access through CreateFileA with no sharing.
#include "platform.h"

#include <windows.h>

void* HeapAllocZero(size_t size) {
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void HeapRelease(void* block) {
    HeapFree(GetProcessHeap(), 0, block);
}

bool ReadWholeFile(const char* path, unsigned char** data, int32_t* size) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD low = GetFileSize(file, nullptr);
    if (low == INVALID_FILE_SIZE || low > (DWORD)INT32_MAX) {
        CloseHandle(file);
        return false;
    }
    unsigned char* block = (unsigned char*)HeapAllocZero(low);
    if (!block) {
        CloseHandle(file);
        return false;
    }
    DWORD got = 0;
    ReadFile(file, block, low, &got, nullptr);  // a short read leaves zeros
    CloseHandle(file);
    *data = block;
    *size = (int32_t)low;
    return true;
}

bool WriteFileInPlace(const char* path, const void* data, int32_t size) {
    if (size < 0) return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, data, (DWORD)size, &written, nullptr);
    CloseHandle(file);
    return ok && written == (DWORD)size;
}
