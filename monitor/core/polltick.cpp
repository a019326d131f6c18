// One poll tick over a PollPort: the budget, the log opened once, the pane
// refreshed once.
#include "polltick.h"
#include "sjis.h"

namespace {

enum LogState { LOG_CLOSED, LOG_OPEN, LOG_REFUSED };

// A piece goes to log.txt while logging is on. The file is opened at the
// first piece that needs it; when that fails logging goes off, silently, and
// the tick asks no more. A write that fails or takes nothing ends the piece.
void LogPiece(const PollPort* port, LogState* log, uint8_t* logToFile, const unsigned char* piece, size_t size) {
    if (!*logToFile) return;
    if (*log == LOG_CLOSED) *log = port->openLog(port->context) ? LOG_OPEN : LOG_REFUSED;
    if (*log == LOG_REFUSED) {
        *logToFile = 0;
        return;
    }
    WriteFully(port->writeLog, port->context, piece, size);
}

}  // namespace

TickResult RunPollTick(const PollPort* port, ReceiveBuffer* buffer, PaneShown* pane, uint8_t* logToFile) {
    TickResult result = {TICK_STOPPED, 0};
    LogState log = LOG_CLOSED;
    uint64_t start = 0;  // read when the first message waits, so a quiet tick costs one query
    for (;;) {
        uint32_t size = 0;
        SlotState state = port->query(port->context, &size);
        if (state != SLOT_WAITING) {
            result.end = state == SLOT_EMPTY ? TICK_DRAINED : TICK_STOPPED;
            break;
        }
        if (result.messages == 0) {
            start = port->now(port->context);
        } else if (port->now(port->context) - start >= POLL_TICK_BUDGET_US) {
            result.end = TICK_BACKLOG;
            break;
        }
        const unsigned char* message = nullptr;
        size_t length = 0;
        if (!port->read(port->context, size, &message, &length)) break;
        ++result.messages;
        for (size_t offset = 0, piece; (piece = PieceLength(length, offset)) != 0; offset += piece) {
            AppendPiece(buffer, message + offset, piece);
            LogPiece(port, &log, logToFile, message + offset, piece);
        }
    }
    if (log == LOG_OPEN) port->closeLog(port->context);
    // The pane is behind after a skipped refresh, and after any message: a
    // zero-byte one changes no text but still refreshes (dropping a selection).
    if (result.messages == 0 && pane->backlogTicks == 0) return result;
    if (result.end == TICK_BACKLOG && ++pane->backlogTicks < POLL_FLOOD_REFRESH_TICKS) return result;
    port->refreshPane(port->context, ShownText(buffer),
                      buffer->wraps == pane->wraps ? pane->length : PANE_KEEPS_NOTHING);
    pane->length = ShownLength(buffer);
    pane->wraps = buffer->wraps;
    pane->backlogTicks = 0;
    return result;
}

bool NeedsFollowUp(const TickResult* tick) {
    return tick->messages > 0;
}

size_t PaneAppendStart(const char* text, size_t kept, bool (*isLead)(unsigned char)) {
    if (kept == PANE_KEEPS_NOTHING || kept == 0) return PANE_KEEPS_NOTHING;
    return WholeCharPrefix(text, kept, kept, isLead) == kept ? kept : PANE_KEEPS_NOTHING;
}
