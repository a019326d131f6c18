// Fuzz target of the relay's reading of the shared debug-output buffer, which
// any program can fill: whatever the bytes, the text stays inside them and
// the line built from it holds exactly the text, its prefix and line end.
#include "relaycore.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > DBWIN_BUFFER_BYTES) return 0;
    // A copy of exactly `size` bytes, so that reading past them is caught.
    unsigned char* buffer = (unsigned char*)malloc(size ? size : 1);
    if (size) memcpy(buffer, data, size);
    DebugString string;
    if (ReadDebugBuffer(buffer, size, &string)) {
        if (string.text != (const char*)buffer + 4 || string.length > size - 4 || memchr(string.text, 0, string.length))
            abort();
        RelayFormat format;
        format.name = size & 1;
        format.raw = (size & 2) != 0;
        std::string line;
        AppendRelayLine(format, string, "app.exe", &line);
        size_t text = format.name ? line.find("] ") + 2 : 0;
        if (line.size() < text + string.length || line.compare(text, string.length, string.text, string.length) ||
            line.size() > text + string.length + 2)
            abort();
    }
    free(buffer);
    return 0;
}
