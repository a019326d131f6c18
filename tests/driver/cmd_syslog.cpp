// A bare Winsock receiver, the baseline of the syslog benchmark: it takes
// COUNT datagrams, or COUNT LF-ended lines on one TCP connection, and does
// nothing with them.
#include <winsock2.h>
#include <ws2tcpip.h>
#include "driver.h"
#include <stdio.h>

// Prints "listening" once bound, then, after COUNT messages or when none
// came for --idle MS, "received=N".
DRIVER_COMMAND(SyslogDrainCommand, "syslog-drain", "(udp | tcp) PORT COUNT [--idle MS]") {
    Args pos = Positional(args);
    int64_t port, count;
    if (pos.size() != 3 || (pos[0] != "udp" && pos[0] != "tcp") || !ParseNumber(pos[1], &port) ||
        !ParseNumber(pos[2], &count))
        return DRIVER_USAGE;
    bool tcp = pos[0] == "tcp";
    DWORD idle = (DWORD)NumberOption(args, "--idle", 2000);
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return DRIVER_FAILED;
    SOCKET s = socket(AF_INET, tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
    int buffer = 8 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&buffer, sizeof buffer);
    sockaddr_in where = {};
    where.sin_family = AF_INET;
    where.sin_port = htons((u_short)port);
    where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, (sockaddr*)&where, sizeof where) != 0 || (tcp && listen(s, 1) != 0)) return DRIVER_FAILED;
    printf("listening\n");
    fflush(stdout);
    DWORD timeout = idle;
    SOCKET from = s;
    if (tcp) {
        from = accept(s, nullptr, nullptr);
        if (from == INVALID_SOCKET) return DRIVER_FAILED;
    }
    setsockopt(from, SOL_SOCKET, SO_RCVTIMEO, (const char*)&timeout, sizeof timeout);
    static char data[65536];
    int64_t received = 0;
    while (received < count) {
        int got = recv(from, data, sizeof data, 0);
        if (got <= 0) break;  // the idle time passed, or the sender closed
        if (!tcp) {
            ++received;
            continue;
        }
        for (int i = 0; i < got; ++i) received += data[i] == '\n';
    }
    printf("received=%lld\n", (long long)received);
    closesocket(from);
    if (from != s) closesocket(s);
    return DRIVER_OK;
}
