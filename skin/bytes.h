// Little-endian 16- and 32-bit fields, as every stored format here keeps
// them (packed streams, skin records, BMP headers, the outline's blocks).
#pragma once
#include <stdint.h>

inline uint16_t GetLe16(const unsigned char* at) {
    return (uint16_t)(at[0] | at[1] << 8);
}

inline uint32_t GetLe32(const unsigned char* at) {
    return (uint32_t)at[0] | (uint32_t)at[1] << 8 | (uint32_t)at[2] << 16 | (uint32_t)at[3] << 24;
}

inline void PutLe32(unsigned char* at, uint32_t value) {
    at[0] = (unsigned char)value;
    at[1] = (unsigned char)(value >> 8);
    at[2] = (unsigned char)(value >> 16);
    at[3] = (unsigned char)(value >> 24);
}
