// Shift-JIS lead bytes and whole-character cuts (see sjis.h).
#include "sjis.h"

bool IsShiftJisLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

size_t WholeCharPrefix(const char* text, size_t length, size_t limit, LeadByteProc isLead) {
    size_t kept = 0;
    while (kept < length) {
        size_t step = isLead((unsigned char)text[kept]) ? 2 : 1;
        if (kept + step > length || kept + step > limit) break;
        kept += step;
    }
    return kept;
}
