// Memory window arithmetic, in 64 bits so that machines with more than 4 GiB
// show their real totals.
#include "memfigures.h"

MemoryFigures ComputeMemoryFigures(uint64_t totalBytes, uint64_t availableBytes) {
    if (availableBytes > totalBytes) availableBytes = totalBytes;
    uint64_t usedBytes = totalBytes - availableBytes;
    MemoryFigures figures;
    figures.totalKb = totalBytes >> 10;
    figures.usedKb = usedBytes >> 10;
    figures.availableKb = availableBytes >> 10;
    uint64_t divisor = totalBytes / 100;
    uint64_t percent = divisor ? usedBytes / divisor : 0;
    // A truncated divisor lets small totals step past 100; the bar ends there.
    figures.barPercent = percent > 100 ? 100 : (int)percent;
    return figures;
}

bool FormatKilobytes(uint64_t kilobytes, char* text, size_t size) {
    static const char suffix[] = " [KB]";
    char digits[24];
    size_t count = 0;
    do {
        digits[count++] = (char)('0' + kilobytes % 10);
        kilobytes /= 10;
    } while (kilobytes);
    size_t needed = count + sizeof(suffix);  // digits, suffix and its NUL
    if (size < needed) {
        if (size) text[0] = '\0';
        return false;
    }
    for (size_t i = 0; i < count; ++i) text[i] = digits[count - 1 - i];
    for (size_t i = 0; i < sizeof(suffix); ++i) text[count + i] = suffix[i];
    return true;
}
