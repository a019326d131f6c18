// Sending syslog messages to a server (a syslogrelay, or any syslog
// server): over UDP one datagram each, over TCP octet-counted frames on one
// connection that is made again at most once a second while the server is
// away. What cannot go out meanwhile is counted. Win32 (Winsock).
#pragma once
#include <winsock2.h>
#include <stdint.h>
#include <string>

struct SyslogClient {
    const char* tool = "syslog";  // who speaks in what is said on stderr
    std::string target;           // "HOST:PORT", for the same
    bool tcp = false;
    SOCKET socket = INVALID_SOCKET;
    sockaddr_storage address = {};
    int addressLength = 0;
    DWORD lastTry = 0;
    bool away = false;  // reported unreachable, not yet back
    unsigned long long dropped = 0;
    unsigned long long droppedWhileAway = 0;
};

// Resolves "HOST[:PORT]" (Winsock started here) and, for TCP, connects for
// the first time. False, with the reason in `*error`, when the text or the
// host name is wrong; a server that is not there yet is no error.
bool OpenSyslogClient(SyslogClient* client, const std::string& target, bool tcp, std::string* error);

// Sends one message (without its octet count; TCP adds it). False when it
// was dropped, and counted.
bool SendSyslog(SyslogClient* client, const std::string& message);

void CloseSyslogClient(SyslogClient* client);

// This PC's name, for the messages' HOSTNAME.
std::string ThisComputerName();

// The time now, for the messages' TIMESTAMP.
struct UtcTime;
void UtcNow(UtcTime* time);

// The one line a tool prints when a remote mailslot cannot be reached.
#define REMOTE_MAILSLOT_HINT                                                                     \
    "remote mailslots need SMB1, which current Windows turns off (Windows 11 24H2 refuses them " \
    "with error 3025); run syslogrelay on that PC and use --syslog HOST instead"
