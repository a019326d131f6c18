// Figures of the memory window: byte counts from the memory status query
// turned into the three kilobyte texts and the bar position. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>

struct MemoryFigures {
    uint64_t totalKb;      // total >> 10
    uint64_t usedKb;       // (total - available) >> 10, taken in bytes first
    uint64_t availableKb;  // available >> 10
    int barPercent;        // (total - available) / (total / 100), 0..100
};

// Computes the figures of one memory kind. A total below 100 bytes gives the
// bar 0 (its divisor would be 0); an available count above the total is
// taken as the total, so nothing wraps around.
MemoryFigures ComputeMemoryFigures(uint64_t totalBytes, uint64_t availableBytes);

// Writes "<unsigned decimal> [KB]" with its NUL into text. Returns false,
// writing only an empty string (when size > 0), if it does not fit.
bool FormatKilobytes(uint64_t kilobytes, char* text, size_t size);
