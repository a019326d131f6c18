// The few system services the skin library needs, with the system's own
// semantics: the process heap, and whole-file reads and writes with exclusive
// access. Windows builds use the Win32 calls; elsewhere, POSIX equivalents.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Zero-filled block from the process heap; null on failure.
void* HeapAllocZero(size_t size);
void HeapRelease(void* block);

// Opens an existing file for reading without sharing, takes the low 32 bits of
// its size, allocates a zero-filled block of that size from the process heap
// and reads the file into it in one read. A short read leaves the rest zero.
// False when the file cannot be opened or the block cannot be allocated.
bool ReadWholeFile(const char* path, unsigned char** data, int32_t* size);

// Opens or creates `path` for writing without sharing, does not truncate it,
// writes `size` bytes at its start in one write. False unless all were written.
bool WriteFileInPlace(const char* path, const void* data, int32_t size);
