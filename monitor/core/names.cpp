// Joins file names to the module directory and builds the mailslot name.
#include "names.h"
#include <stdio.h>
#include <string.h>

// Length of the drive and directory part of `path`.
static size_t DirectoryLength(const char* path, LeadByteProc isLead) {
    size_t keep = 0;
    if (path[0] && path[1] == ':') keep = 2;
    for (size_t i = 0; path[i]; ++i) {
        unsigned char c = (unsigned char)path[i];
        if (isLead && isLead(c) && path[i + 1]) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/') keep = i + 1;
    }
    return keep;
}

bool JoinModulePath(const char* modulePath, const char* name, const char* ext, LeadByteProc isLead, char* out,
                    size_t outSize) {
    if (outSize == 0) return false;
    out[0] = 0;
    size_t directory = DirectoryLength(modulePath, isLead);
    size_t nameLength = strlen(name);
    size_t extLength = strlen(ext);
    size_t total = directory + nameLength + 1 + extLength;
    if (total + 1 > outSize) return false;
    memcpy(out, modulePath, directory);
    memcpy(out + directory, name, nameLength);
    out[directory + nameLength] = '.';
    memcpy(out + directory + nameLength + 1, ext, extLength);
    out[total] = 0;
    return true;
}

bool FormatMailslotName(const char* remotePc, const char* slotName, char* out, size_t outSize) {
    if (outSize == 0) return false;
    int length = snprintf(out, outSize, "\\\\%s\\mailslot\\%s", remotePc, slotName);
    if (length < 0 || (size_t)length >= outSize) {
        out[0] = 0;
        return false;
    }
    return true;
}
