// The receive buffer and piece handling behind the mailslot poll.
#include "recvbuf.h"
#include <string.h>

void ResetReceiveBuffer(ReceiveBuffer* buffer) {
    memset(buffer, 0, sizeof *buffer);
}

void AppendPiece(ReceiveBuffer* buffer, const unsigned char* piece, size_t size) {
    uint32_t index = buffer->writeIndex % RECV_BUFFER_SIZE;
    for (size_t i = 0; i < size; ++i) {
        if (piece[i] == 0) continue;
        buffer->data[index] = (char)piece[i];
        index = (index + 1) % RECV_BUFFER_SIZE;
        if (index == 0) ++buffer->wraps;
    }
    buffer->data[index] = 0;
    buffer->writeIndex = index;
}

const char* ShownText(const ReceiveBuffer* buffer) {
    return buffer->data;
}

size_t ShownLength(const ReceiveBuffer* buffer) {
    // A NUL always stands at the write index, so this never leaves the buffer.
    return strnlen(buffer->data, RECV_BUFFER_SIZE);
}

size_t PieceLength(size_t size, size_t offset) {
    if (offset >= size) return 0;
    size_t left = size - offset;
    return left < RECV_PIECE_SIZE ? left : RECV_PIECE_SIZE;
}

bool WriteFully(WriteProc write, void* context, const unsigned char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        size_t written = 0;
        if (!write(context, data + done, size - done, &written) || written == 0) return false;
        if (written > size - done) written = size - done;
        done += written;
    }
    return true;
}
