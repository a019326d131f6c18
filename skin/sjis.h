// Shift-JIS (code page 932) text, the encoding of every stored title and
// name: which bytes open a two-byte character, and cutting text to a size
// without splitting one.
#pragma once
#include <stddef.h>

// Tells whether a byte starts a two-byte character: the fixed Shift-JIS
// ranges below, or on Windows the ANSI code page's own answer.
typedef bool (*LeadByteProc)(unsigned char byte);

bool IsShiftJisLeadByte(unsigned char byte);

// The length of the longest prefix of `text` (`length` bytes) that fits in
// `limit` bytes without ending inside a two-byte character. A lead byte with
// no byte after it is left out.
size_t WholeCharPrefix(const char* text, size_t length, size_t limit, LeadByteProc isLead);
