// One poll tick's rules, apart from Win32: which waiting messages a tick
// takes, when log.txt is opened and closed, when the pane is refreshed, and
// whether the follow-up timer should ask for the next tick soon. The
// mailslot, log.txt, the pane and the clock come in through a PollPort, so
// the native tests run a tick against a scripted slot and an injected clock.
// Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include "recvbuf.h"

// Tunables of the poll, in one place.
// A tick stops taking messages once it has spent this long; what still waits
// stays in the mailslot for the next tick. Input, painting and menus are
// served between two ticks, so this (plus one pane refresh) bounds how long
// the window can be kept from answering during a flood.
#define POLL_TICK_BUDGET_US 50000
// While ticks keep finding messages, a second timer on the pane asks for the
// next tick this soon instead of a whole poll period later. Under Wine a
// writer waits once about 280 short messages queue up, some 30 ms of a fast
// writer's work: later than that and writers stall, much sooner and every
// tick pays a pane refresh for a handful of messages.
#define POLL_FOLLOWUP_PERIOD_MS 20

// While ticks keep leaving a backlog, only every this many'th of them
// refreshes the pane (and so has it painted). Each spent the whole budget,
// so in a flood the pane moves about five times a second; a refresh sets the
// whole 32 KiB text anew there, which with its paint cost a quarter of every
// tick. The tick that empties the slot always refreshes, so a flood ends
// with the pane exact.
#define POLL_FLOOD_REFRESH_TICKS 4

enum SlotState { SLOT_EMPTY, SLOT_WAITING, SLOT_FAILED };

#define PANE_KEEPS_NOTHING ((size_t)-1)

struct PollPort {
    void* context;
    // Whether a message waits, and its size.
    SlotState (*query)(void* context, uint32_t* size);
    // Takes the waiting message of `size` bytes off the slot; the bytes stay
    // valid until the next read. False when it could not be taken.
    bool (*read)(void* context, uint32_t size, const unsigned char** data, size_t* length);
    // log.txt, opened for appending; false when it cannot be opened.
    bool (*openLog)(void* context);
    WriteProc writeLog;
    void (*closeLog)(void* context);
    // Shows `text` in the pane, scrolled to its last line. The pane holds
    // the first `kept` bytes of it already (PANE_KEEPS_NOTHING after a wrap).
    void (*refreshPane)(void* context, const char* text, size_t kept);
    // A monotonic clock in microseconds.
    uint64_t (*now)(void* context);
};

// What the pane holds since its last refresh, carried from tick to tick.
// All zero at start-up, like the receive buffer and the empty pane.
struct PaneShown {
    size_t length;          // of the buffer's text
    uint32_t wraps;         // the buffer's wraps then
    uint32_t backlogTicks;  // ticks since then that left a backlog: while not 0, the pane is behind
};

enum TickEnd {
    TICK_DRAINED,  // the slot is empty
    TICK_BACKLOG,  // the budget is spent and a message still waits
    TICK_STOPPED,  // a query or read failed; the next poll tick tries again
};

struct TickResult {
    TickEnd end;
    uint32_t messages;  // taken in this tick
};

// Takes waiting messages until the slot is empty, a query or read fails, or
// the budget is spent (at least one message is always taken, so a flood still
// moves). Every piece goes into `buffer` and, while `*logToFile` is on, to
// log.txt, which is opened at the first such piece and closed before the
// tick returns; a failed open switches `*logToFile` off. A tick ends with one
// pane refresh when the pane is behind the buffer, unless it is one of the
// ticks that leave a backlog and POLL_FLOOD_REFRESH_TICKS skips. A refresh
// leaves the pane exactly as a refresh after every message would have, since
// nothing paints in between.
TickResult RunPollTick(const PollPort* port, ReceiveBuffer* buffer, PaneShown* pane, uint8_t* logToFile);

// Whether the next tick should come soon. A tick that left a backlog needs
// one; so does one that emptied the slot, because writers are often still
// writing (and under Wine a writer waits once a few hundred messages queue
// up). The first tick that finds the slot empty ends the follow-up, so a
// quiet monitor polls only at its poll period.
bool NeedsFollowUp(const TickResult* tick);

// Where a refresh may start appending: `kept` when the pane's text so far
// ends on a whole character of the code page that `isLead` describes, so that
// what follows shows as a full refresh would show it; PANE_KEEPS_NOTHING
// otherwise (a two-byte character split across the seam, or nothing kept).
size_t PaneAppendStart(const char* text, size_t kept, bool (*isLead)(unsigned char));
