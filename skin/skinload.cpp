// The two loaders that bring a skin record into the codec's current result:
// from a skin file, and from the built-in default skin (stored packed twice).
#include "codec.h"
#include "platform.h"
#include "skinfile.h"

bool LoadSkinFile(const char* path) {
    unsigned char* data = nullptr;
    int32_t size = 0;
    if (!path || !ReadWholeFile(path, &data, &size)) return false;
    bool unpacked = UnpackStream(data, size);
    HeapRelease(data);
    return unpacked;
}

bool LoadDefaultSkin() {
    ReleaseUnpacked();
    if (!UnpackStream(defaultSkinStored, defaultSkinStoredSize)) return false;
    // The first result is itself a stream; unpacking it frees it.
    return UnpackStream(unpackedData, unpackedSize);
}
