// The debug-output relay's rules, apart from Win32: reading the shared buffer
// a writer filled without trusting it, the line each string becomes, and the
// outbox that packs lines into mailslot messages in order. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <deque>
#include <string>

// Tunables of the relay, in one place.
// The shared buffer: the writer's process id (4 bytes), then its text.
#define DBWIN_BUFFER_BYTES 4096
// Lines waiting together are sent as one message of up to this many bytes
// (a longer line goes alone): the monitor's cost is per message, and the
// pane and log.txt end the same either way. Under Wine a mailslot writer
// waits once the unread messages fill a socket buffer that counts a fixed
// cost per message (13 of 8 KiB, 106 KB, but 4 of 64 KiB, 262 KB), so the
// largest message the monitor reads whole in one call carries the most.
#define RELAY_MESSAGE_BYTES 65536
// What may wait for a slow monitor. Past it the relay holds the writers
// instead of dropping their strings.
#define RELAY_OUTBOX_BYTES (32u << 20)
// While the mailslot cannot be opened, a new try comes this long after the
// last one at the soonest.
#define RELAY_RETRY_MS 1000
// What a stop gives the send thread to finish.
#define RELAY_STOP_WAIT_MS 5000
// Executable names remembered per process id; past this the memory starts
// again.
#define RELAY_NAME_CACHE_SIZE 1024

// One string as the shared buffer holds it.
struct DebugString {
    uint32_t pid;
    const char* text;  // inside the buffer
    size_t length;     // up to the first NUL, or to the end of the buffer
};

// Reads the writer's process id and text out of `size` bytes of the shared
// buffer; the text never reaches past them. False when `size` cannot hold
// a process id.
bool ReadDebugBuffer(const void* buffer, size_t size, DebugString* string);

struct RelayFormat {
    bool pid = false;   // "[1234] " in front
    bool name = false;  // "[1234 app.exe] " in front
    bool raw = false;   // no line end added
};

// Appends the line `string` becomes to `out`: the prefix that `format` asks
// for, the text as it is, then CR LF unless the text ends a line already (a
// lone CR gets its LF) or the format is raw.
void AppendRelayLine(const RelayFormat& format, const DebugString& string, const std::string& exeName,
                     std::string* out);

// The file name of an image path ("C:\\dir\\app.exe" gives "app.exe").
std::string ExecutableName(const std::string& imagePath);

// Lines waiting for the mailslot, oldest first. Not locked: the relay
// guards it.
struct RelayOutbox {
    std::deque<std::string> lines;
    size_t bytes = 0;
};

void PushRelayLine(RelayOutbox* outbox, std::string line);
bool RelayOutboxFull(const RelayOutbox& outbox);
// Empties the outbox; returns how many lines it held.
size_t DropRelayLines(RelayOutbox* outbox);
// Moves the oldest lines, in order, into one message of at most `limit`
// bytes (always at least one line, however long); returns how many. A
// limit of 0 sends every line alone.
size_t TakeRelayMessage(RelayOutbox* outbox, size_t limit, std::string* message);
