// Sending syslog messages (see syslogsend.h).
#include "syslogsend.h"
#include <ws2tcpip.h>
#include <stdio.h>
#include "syslogcore.h"

#define SYSLOG_CONNECT_MS 2000  // how long a TCP connect may take

bool OpenSyslogClient(SyslogClient* client, const std::string& target, bool tcp, std::string* error) {
    std::string host;
    uint16_t port;
    if (!ParseSyslogTarget(target, &host, &port)) {
        *error = "not HOST[:PORT]: " + target;
        return false;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        *error = "Winsock cannot start";
        return false;
    }
    addrinfo hints = {}, *found = nullptr;
    hints.ai_socktype = tcp ? SOCK_STREAM : SOCK_DGRAM;
    std::string service = std::to_string(port);
    int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (status != 0 || !found) {
        *error = "cannot find " + host + " (error " + std::to_string(status) + ")";
        return false;
    }
    memcpy(&client->address, found->ai_addr, found->ai_addrlen);
    client->addressLength = (int)found->ai_addrlen;
    freeaddrinfo(found);
    client->target = (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + service;
    client->tcp = tcp;
    if (!tcp) {
        client->socket = socket(client->address.ss_family, SOCK_DGRAM, IPPROTO_UDP);
        if (client->socket == INVALID_SOCKET ||
            connect(client->socket, (sockaddr*)&client->address, client->addressLength) != 0) {
            *error = "cannot make a UDP socket (error " + std::to_string(WSAGetLastError()) + ")";
            return false;
        }
    }
    return true;
}

static void Disconnect(SyslogClient* client) {
    if (client->socket != INVALID_SOCKET) closesocket(client->socket);
    client->socket = INVALID_SOCKET;
}

// Connects within SYSLOG_CONNECT_MS, so that an unreachable server holds the
// sender no longer.
static bool Connect(SyslogClient* client) {
    SOCKET s = socket(client->address.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return false;
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    bool connected = connect(s, (sockaddr*)&client->address, client->addressLength) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(s, &writable);
        FD_SET(s, &failed);
        timeval wait = {SYSLOG_CONNECT_MS / 1000, (SYSLOG_CONNECT_MS % 1000) * 1000};
        connected = select(0, nullptr, &writable, &failed, &wait) == 1 && FD_ISSET(s, &writable);
    }
    nonBlocking = 0;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    if (!connected) {
        closesocket(s);
        return false;
    }
    client->socket = s;
    return true;
}

static bool SendAll(SOCKET s, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        int n = send(s, bytes.data() + sent, (int)(bytes.size() - sent), 0);
        if (n <= 0) return false;
        sent += (size_t)n;
    }
    return true;
}

static bool Drop(SyslogClient* client) {
    ++client->dropped;
    if (client->away) ++client->droppedWhileAway;
    return false;
}

bool SendSyslog(SyslogClient* client, const std::string& message) {
    if (!client->tcp) {
        // A datagram that no server takes is not known here, except that the
        // next send after a "port unreachable" fails once: that one is sent again.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (send(client->socket, message.data(), (int)message.size(), 0) == (int)message.size()) return true;
            if (WSAGetLastError() != WSAECONNRESET) break;
        }
        return Drop(client);
    }
    if (client->socket == INVALID_SOCKET) {
        DWORD now = GetTickCount();
        if (client->away && now - client->lastTry < 1000) return Drop(client);
        client->lastTry = now;
        if (!Connect(client)) {
            if (!client->away)
                fprintf(stderr, "%s: cannot reach %s; messages are counted and dropped until it answers\n",
                        client->tool, client->target.c_str());
            client->away = true;
            return Drop(client);
        }
        if (client->away)
            fprintf(stderr, "%s: %s answers again; %llu message%s dropped meanwhile\n", client->tool,
                    client->target.c_str(), client->droppedWhileAway,
                    client->droppedWhileAway == 1 ? " was" : "s were");
        client->away = false;
        client->droppedWhileAway = 0;
    }
    if (SendAll(client->socket, std::to_string(message.size()) + ' ' + message)) return true;
    Disconnect(client);
    client->away = true;
    client->lastTry = GetTickCount();
    fprintf(stderr, "%s: the connection to %s broke; messages are counted and dropped until it answers\n", client->tool,
            client->target.c_str());
    return Drop(client);
}

void CloseSyslogClient(SyslogClient* client) {
    Disconnect(client);
}

std::string ThisComputerName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

void UtcNow(UtcTime* time) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    *time = UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}
