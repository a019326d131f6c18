// What the relays (dbgrelay, syslogrelay) share: a send thread that takes
// the lines another thread queues and sends them in order, to the monitor's
// mailslot or to a syslog server; and the hidden window through which
// WM_CLOSE (taskkill), Ctrl+C, Ctrl+Break and the console's close stop the
// relay in order. Win32.
#pragma once
#include <windows.h>
#include <string>
#include "syslogsend.h"

struct SenderSetup {
    const char* tool;                // who speaks in what is said on stderr
    const char* unit;                // what one line is called there: "string", "message"
    std::string slotPath;            // the monitor's mailslot, when `syslog` is null
    bool localSlot = true;           // lines waiting together go as one message (a local slot only)
    bool remoteHint = false;         // a failure to reach the slot prints the remote mailslot hint
    SyslogClient* syslog = nullptr;  // each queued item is one syslog message instead
};

// Starts the send thread; false (reported) when it cannot start.
bool StartSender(const SenderSetup& setup);

// Hands a line to the send thread. While the outbox is full, waits for room
// (the caller then holds its own writers) rather than drop it.
void QueueLine(std::string line);

// Hands `count` lines over at once (one lock and one wake for all), moving
// them out of `lines`.
void QueueLines(std::string* lines, size_t count);

// Lets a queuer waiting for room go on (its line is then queued past the
// limit): the first step of a stop, before the queuing thread is awaited.
void StopQueueing();

// Ends the send thread once the waiting lines went out, giving it `waitMs`;
// prints what was dropped while the monitor was away. The lines delivered.
unsigned long long StopSender(DWORD waitMs);

// Lines dropped because the monitor (or the syslog server) was away.
unsigned long long SenderDropped();

// The hidden window of the class `windowClass`; Ctrl+C and the console's
// close post it WM_CLOSE. Null when it cannot be made.
HWND CreateStopWindow(const char* windowClass, const char* title);

// Runs the message loop until the stop window is closed.
void RunUntilStopped();

// Lets a console close that waits for the stop go on: called once the
// relay has shut down.
void SignalStopped();
