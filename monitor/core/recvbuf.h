// The receive buffer: a 32768-byte ring that collects the text of every
// received message with NUL bytes left out, and the rules for cutting a
// message into pieces and writing a piece out completely. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>

#define RECV_BUFFER_SIZE 32768
#define RECV_PIECE_SIZE  1024

struct ReceiveBuffer {
    char data[RECV_BUFFER_SIZE];
    uint32_t writeIndex;  // 0..RECV_BUFFER_SIZE-1
    uint32_t wraps;       // times the write index went back to 0, so a reader can tell text that only grew
};

// All zero, index 0: the state at start-up.
void ResetReceiveBuffer(ReceiveBuffer* buffer);

// Stores the non-NUL bytes of one piece at the write index (wrapping from the
// end to position 0), then a NUL at the write index.
void AppendPiece(ReceiveBuffer* buffer, const unsigned char* piece, size_t size);

// The text the pane shows: the NUL-terminated string at position 0, which is
// exactly the bytes before the write index.
const char* ShownText(const ReceiveBuffer* buffer);
size_t ShownLength(const ReceiveBuffer* buffer);

// Length of the piece that starts at `offset` of a message of `size` bytes:
// at most RECV_PIECE_SIZE, 0 once the message is used up.
size_t PieceLength(size_t size, size_t offset);

// One write attempt: stores how many bytes went out; false on failure.
typedef bool (*WriteProc)(void* context, const unsigned char* data, size_t size, size_t* written);

// Repeats `write` until all `size` bytes went out. Stops, returning false, at
// the first failed write or a write that took nothing, so a broken or full
// file can never keep it looping.
bool WriteFully(WriteProc write, void* context, const unsigned char* data, size_t size);
