// The names of the monitor's outside objects: files beside the executable
// and the mailslot. Portable; both refuse rather than overflow.
#pragma once
#include "sjis.h"
#include <stddef.h>

#define MODULE_PATH_SIZE   260  // room for a joined path, NUL included
#define MAILSLOT_NAME_SIZE 1024

// Keeps the drive and directory of `modulePath` (up to and including its last
// backslash or slash, or its "X:" drive) and appends "name.ext". Trail bytes
// of double-byte characters are never taken for separators. False, with `out`
// empty, when the result needs more than `outSize` bytes with its NUL.
bool JoinModulePath(const char* modulePath, const char* name, const char* ext, LeadByteProc isLead, char* out,
                    size_t outSize);

// "\\<pc>\mailslot\<slot>" into `out`; false, with `out` empty, if it does
// not fit.
bool FormatMailslotName(const char* remotePc, const char* slotName, char* out, size_t outSize);
