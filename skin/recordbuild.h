// Building a skin record: the header's fields, the title cut, the length rule
// and the header joined to the bitmap file. Shared by the skin maker, msktool
// and the default skin's generator.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "skinfile.h"
#include <vector>

// Copies `text` into the 32-byte title field: at most 31 bytes, never ending
// inside a two-byte character (a dangling lead byte is dropped), then zeros to
// the end of the field. Returns the number of text bytes kept.
size_t CutTitle(const char* text, char title[32]);

// Fills a skin header: magic, title (cut as above), rectangle and colour.
void FillSkinHeader(SkinHeader* header, const char* title, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t transparentColor);

// The record length for a bitmap file of `fileSize` bytes: fileSize + 56.
// False when that does not fit a signed 32-bit length.
bool SkinRecordLength(uint64_t fileSize, int32_t* length);

// The whole record in memory, for msktool make and the default skin: the
// header, then the bitmap file's bytes. False, with `record` untouched, when
// SkinRecordLength refuses the size.
bool AssembleSkinRecord(const SkinHeader* header, const unsigned char* bitmap, size_t size,
                        std::vector<unsigned char>* record);
