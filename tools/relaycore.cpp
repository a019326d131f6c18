// The debug-output relay's portable rules; see relaycore.h.
#include "relaycore.h"
#include <stdio.h>
#include <string.h>

bool ReadDebugBuffer(const void* buffer, size_t size, DebugString* string) {
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    if (size < 4) return false;
    // Written by the writer's own CPU, so in this machine's byte order.
    memcpy(&string->pid, bytes, 4);
    string->text = reinterpret_cast<const char*>(bytes + 4);
    const void* end = memchr(bytes + 4, 0, size - 4);
    string->length = end ? static_cast<size_t>(static_cast<const unsigned char*>(end) - (bytes + 4)) : size - 4;
    return true;
}

void AppendRelayLine(const RelayFormat& format, const DebugString& string, const std::string& exeName,
                     std::string* out) {
    if (format.pid || format.name) {
        char pid[16];
        snprintf(pid, sizeof pid, "[%lu", static_cast<unsigned long>(string.pid));
        *out += pid;
        if (format.name) *out += ' ' + exeName;
        *out += "] ";
    }
    out->append(string.text, string.length);
    if (format.raw) return;
    char last = string.length ? string.text[string.length - 1] : '\0';
    if (last == '\r')
        *out += '\n';
    else if (last != '\n')
        *out += "\r\n";
}

std::string ExecutableName(const std::string& imagePath) {
    size_t slash = imagePath.find_last_of("\\/");
    return slash == std::string::npos ? imagePath : imagePath.substr(slash + 1);
}

void PushRelayLine(RelayOutbox* outbox, std::string line) {
    outbox->bytes += line.size();
    outbox->lines.push_back(std::move(line));
}

bool RelayOutboxFull(const RelayOutbox& outbox) {
    return outbox.bytes >= RELAY_OUTBOX_BYTES;
}

size_t DropRelayLines(RelayOutbox* outbox) {
    size_t count = outbox->lines.size();
    outbox->lines.clear();
    outbox->bytes = 0;
    return count;
}

size_t TakeRelayMessage(RelayOutbox* outbox, size_t limit, std::string* message) {
    message->clear();
    size_t taken = 0;
    while (!outbox->lines.empty()) {
        std::string& line = outbox->lines.front();
        if (taken && message->size() + line.size() > limit) break;
        *message += line;
        outbox->bytes -= line.size();
        outbox->lines.pop_front();
        ++taken;
    }
    return taken;
}
