// System services of the skin library on POSIX systems: calloc stands in for
// the process heap, and whole-file access uses open/read/write. An exclusive
// advisory lock stands for "no sharing" where the system offers one.
#include "platform.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

void* HeapAllocZero(size_t size) {
    return calloc(size ? size : 1, 1);
}

void HeapRelease(void* block) {
    free(block);
}

bool ReadWholeFile(const char* path, unsigned char** data, int32_t* size) {
    int fd = open(path, O_RDONLY);
    if (fd < 0) return false;
    struct stat st;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &st) != 0) {
        close(fd);
        return false;
    }
    uint32_t low = (uint32_t)((uint64_t)st.st_size & 0xFFFFFFFFu);
    if (low > INT32_MAX) {  // cannot be described by a signed size
        close(fd);
        return false;
    }
    unsigned char* block = (unsigned char*)HeapAllocZero(low);
    if (!block) {
        close(fd);
        return false;
    }
    if (low > 0 && read(fd, block, low) < 0) {
        // A failed read is not reported on its own: the block stays zero.
    }
    close(fd);
    *data = block;
    *size = (int32_t)low;
    return true;
}

bool WriteFileInPlace(const char* path, const void* data, int32_t size) {
    if (size < 0) return false;
    int fd = open(path, O_WRONLY | O_CREAT, 0666);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    ssize_t written = size ? write(fd, data, (size_t)size) : 0;
    bool ok = close(fd) == 0 && written == size;
    return ok;
}
