// Building a skin record (see recordbuild.h).
#include "recordbuild.h"
#include "sjis.h"
#include <string.h>

size_t CutTitle(const char* text, char title[32]) {
    size_t kept = WholeCharPrefix(text, strlen(text), 31, IsShiftJisLeadByte);
    memcpy(title, text, kept);
    memset(title + kept, 0, 32 - kept);
    return kept;
}

void FillSkinHeader(SkinHeader* header, const char* title, int32_t left, int32_t top, int32_t right, int32_t bottom,
                    uint32_t transparentColor) {
    memcpy(header->magic, SKIN_MAGIC, 4);
    CutTitle(title, header->title);
    header->textLeft = left;
    header->textTop = top;
    header->textRight = right;
    header->textBottom = bottom;
    header->transparentColor = transparentColor;
}

bool SkinRecordLength(uint64_t fileSize, int32_t* length) {
    if (fileSize > (uint64_t)INT32_MAX - sizeof(SkinHeader)) return false;
    *length = (int32_t)(fileSize + sizeof(SkinHeader));
    return true;
}

bool AssembleSkinRecord(const SkinHeader* header, const unsigned char* bitmap, size_t size,
                        std::vector<unsigned char>* record) {
    int32_t length;
    if (!SkinRecordLength(size, &length)) return false;
    const unsigned char* raw = (const unsigned char*)header;
    record->assign(raw, raw + sizeof(SkinHeader));
    record->insert(record->end(), bitmap, bitmap + size);
    return true;
}
