// Reading a whole file into memory with the C runtime, for the tools, the
// tests and the driver (the skin loaders keep their own exclusive read in
// platform.h).
#pragma once
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

enum FileRead { FILE_READ_OK, FILE_NOT_FOUND, FILE_NOT_OPENED, FILE_TOO_LARGE, FILE_READ_FAILED };

// Replaces `out` (a std::string or std::vector of bytes) with the file's
// bytes; refuses a file over `limit` bytes.
template <class Bytes>
FileRead ReadFileBytes(const char* path, Bytes* out, size_t limit = SIZE_MAX) {
    FILE* file = fopen(path, "rb");
    if (!file) return errno == ENOENT ? FILE_NOT_FOUND : FILE_NOT_OPENED;
    out->clear();
    unsigned char chunk[65536];
    size_t got;
    FileRead result = FILE_READ_OK;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) {
        if (got > limit - out->size()) {
            result = FILE_TOO_LARGE;
            break;
        }
        out->insert(out->end(), chunk, chunk + got);
    }
    if (result == FILE_READ_OK && ferror(file)) result = FILE_READ_FAILED;
    fclose(file);
    return result;
}
