// syslogrelay: receives syslog messages from other machines (UDP and TCP,
// IPv4 and IPv6) and sends each, as one line, to the monitor's mailslot.
//
// Three threads. The network thread waits on every socket at once, takes
// datagrams and TCP frames apart (syslogcore.h) and queues their lines; the
// send thread (sender.h) writes them to the mailslot in order; the main
// thread owns the hidden stop window (WM_CLOSE, Ctrl+C, the console's close).
#define FD_SETSIZE 256  // the listeners and SYSLOG_TCP_CONNECTIONS connections in one select
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "linerules.h"
#include "names.h"
#include "relaycore.h"
#include "sender.h"
#include "settings.h"
#include "syslogcore.h"
#include "textconv.h"
#include "tovrel_version.h"

#define SYSLOG_WINDOW_CLASS       "TovrelSyslogRelay"
#define SYSLOG_TICK_MS            250         // how often the network thread looks at the stop and the idle
#define SYSLOG_DATAGRAMS_PER_TICK 1024        // datagrams taken in a row before the connections' turn
#define SYSLOG_UDP_BUFFER         (8 << 20)   // the system's receive buffer, for bursts while the monitor is slow
#define SYSLOG_MESSAGE_LIMIT      (1u << 20)  // the most --max-message may be

static const size_t kMaxNameLength = SETTINGS_NAME_SIZE - 1;  // what the monitor's name fields hold

struct Options {
    std::string host = ".";
    std::string slot = "dout";
    std::vector<std::string> udp, tcp;  // as given, for what the relay says
    std::vector<ListenAddress> udpAddresses, tcpAddresses;
    std::vector<AddressRange> allow;
    bool allowGiven = false;
    bool raw = false;
    int minSeverity = 7;
    size_t maxMessage = SYSLOG_MESSAGE_MAX;
    LineRules rules;
};

static Options options;
static char slotPath[MAILSLOT_NAME_SIZE];

// What the network thread counts, read once it has ended.
static struct { unsigned long long received, outsideAllow, tooLow, filtered, cut, badFrames, refused, idle; } counts;
static size_t lostCharacters;

struct Listener {
    SOCKET socket;
    bool tcp;
};

struct Connection {
    SOCKET socket;
    std::string peer;    // the sender's address, the host of messages that name none
    std::string stream;  // bytes not yet taken as frames
    DWORD lastHeard;
};

static std::vector<Listener> listeners;
static std::vector<Connection> connections;
static volatile LONG stopping;

static void PrintUsage(FILE* out) {
    fprintf(out,
            "usage: syslogrelay [--udp [ADDR:]PORT]... [--tcp [ADDR:]PORT]... [--allow CIDR]...\n"
            "                   [--host PC] [--slot NAME] [--raw] [--min-severity LEVEL]\n"
            "                   [--max-message BYTES] [--include P] [--exclude P] [--time]\n"
            "       syslogrelay --help | --version\n"
            "Receives syslog messages (RFC 5424 and RFC 3164; over TCP octet-counted or one\n"
            "per line) and sends each as the line \"[HOST APP] MSG\" to the mailslot\n"
            "\\\\PC\\mailslot\\NAME (default \\\\.\\mailslot\\dout), where the monitor shows it.\n"
            "  --udp, --tcp  where to listen, each as often as needed: 5140, 0.0.0.0:514,\n"
            "                [::1]:5140; a bare port is 127.0.0.1. Default: --udp 127.0.0.1:514\n"
            "  --allow CIDR  who may send (192.168.1.0/24, ::1/128, any); needed to listen\n"
            "                anywhere but loopback. Without it only loopback may send\n"
            "  --raw         MSG alone, without \"[HOST APP] \"\n"
            "  --min-severity LEVEL  drops what is less severe: emerg alert crit err\n"
            "                warning notice info debug, or 0 to 7\n"
            "  --max-message BYTES   the longest message (default 65536); a longer datagram\n"
            "                is cut, a longer TCP frame closes its connection\n" LINE_RULES_USAGE
            "Valid UTF-8 is converted to CP932 ('?' for what CP932 lacks); other bytes are\n"
            "passed on unchanged. Runs until Ctrl+C, the console's close, or WM_CLOSE; then\n"
            "prints what it received, delivered and dropped.\n"
            "Exit codes: 0 stopped, 1 a socket could not be opened, 2 usage error.\n");
}

static bool NeedValue(int argc, int i, const std::string& arg) {
    if (i + 1 < argc) return true;
    fprintf(stderr, "syslogrelay: %s needs a value\n", arg.c_str());
    return false;
}

// 0 = run, 1 = --help, 2 = bad usage (reported), 3 = --version.
static int ParseArguments(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return 1;
        if (arg == "--version") return 3;
        int taken = TakeLineRuleOption(argc, argv, &i, &options.rules);
        if (taken < 0) {
            NeedValue(argc, i, arg);
            return 2;
        }
        if (taken) continue;
        if (arg == "--raw") {
            options.raw = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0 || !NeedValue(argc, i, arg)) {
            if (arg.compare(0, 2, "--") != 0) fprintf(stderr, "syslogrelay: unknown argument %s\n", arg.c_str());
            return 2;
        }
        std::string value = argv[++i];
        if (arg == "--udp" || arg == "--tcp") {
            ListenAddress listen;
            if (!ParseListenAddress(value, &listen)) {
                fprintf(stderr, "syslogrelay: %s %s is not [ADDR:]PORT\n", arg.c_str(), value.c_str());
                return 2;
            }
            (arg == "--udp" ? options.udpAddresses : options.tcpAddresses).push_back(listen);
            (arg == "--udp" ? options.udp : options.tcp).push_back(value);
        } else if (arg == "--allow") {
            AddressRange range;
            if (!ParseAddressRange(value, &range)) {
                fprintf(stderr, "syslogrelay: --allow %s is not an address range (192.168.1.0/24, ::1/128, any)\n",
                        value.c_str());
                return 2;
            }
            options.allow.push_back(range);
            options.allowGiven = true;
        } else if (arg == "--min-severity") {
            options.minSeverity = ParseSeverity(value);
            if (options.minSeverity < 0) {
                fprintf(stderr, "syslogrelay: --min-severity %s is not a level (emerg ... debug, or 0 to 7)\n",
                        value.c_str());
                return 2;
            }
        } else if (arg == "--max-message") {
            char* end = nullptr;
            unsigned long bytes = strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || bytes < 1 || bytes > SYSLOG_MESSAGE_LIMIT) {
                fprintf(stderr, "syslogrelay: --max-message must be 1 to %u bytes\n", SYSLOG_MESSAGE_LIMIT);
                return 2;
            }
            options.maxMessage = bytes;
        } else if (arg == "--host" || arg == "--slot") {
            if (value.empty() || value.size() > kMaxNameLength) {
                fprintf(stderr, "syslogrelay: %s must be 1 to %u characters\n", arg.c_str(), (unsigned)kMaxNameLength);
                return 2;
            }
            (arg == "--host" ? options.host : options.slot) = value;
        } else {
            fprintf(stderr, "syslogrelay: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }
    if (options.udpAddresses.empty() && options.tcpAddresses.empty()) {
        options.udp.push_back("127.0.0.1:514");
        ParseListenAddress(options.udp.back(), &options.udpAddresses.emplace_back());
    }
    // Safe by default: other machines are heard only when the user says who.
    for (const auto* list : {&options.udpAddresses, &options.tcpAddresses})
        for (const ListenAddress& listen : *list)
            if (!IsLoopback(listen.address) && !options.allowGiven) {
                fprintf(stderr,
                        "syslogrelay: listening on %s lets other machines send; say which with --allow CIDR "
                        "(for example --allow 192.168.1.0/24, or --allow any)\n",
                        FormatAddress(listen.address).c_str());
                return 2;
            }
    if (!options.allowGiven) {
        options.allow.resize(2);
        ParseAddressRange("127.0.0.0/8", &options.allow[0]);
        ParseAddressRange("::1/128", &options.allow[1]);
    }
    FormatMailslotName(options.host.c_str(), options.slot.c_str(), slotPath, sizeof slotPath);
    return 0;
}

// --- sockets -------------------------------------------------------------------

static NetAddress AddressOf(const sockaddr_storage& from) {
    NetAddress address;
    if (from.ss_family == AF_INET6) {
        address.v6 = true;
        memcpy(address.bytes, &((const sockaddr_in6*)&from)->sin6_addr, 16);
    } else {
        memcpy(address.bytes, &((const sockaddr_in*)&from)->sin_addr, 4);
    }
    return address;
}

static SOCKET OpenListener(const ListenAddress& listen, bool tcp) {
    sockaddr_storage where = {};
    int length;
    if (listen.address.v6) {
        sockaddr_in6* v6 = (sockaddr_in6*)&where;
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(listen.port);
        memcpy(&v6->sin6_addr, listen.address.bytes, 16);
        length = sizeof *v6;
    } else {
        sockaddr_in* v4 = (sockaddr_in*)&where;
        v4->sin_family = AF_INET;
        v4->sin_port = htons(listen.port);
        memcpy(&v4->sin_addr, listen.address.bytes, 4);
        length = sizeof *v4;
    }
    SOCKET s = socket(where.ss_family, tcp ? SOCK_STREAM : SOCK_DGRAM, tcp ? IPPROTO_TCP : IPPROTO_UDP);
    if (s == INVALID_SOCKET) return s;
    DWORD on = 1;
    if (listen.address.v6) setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, (const char*)&on, sizeof on);
    if (!tcp) {
        int buffer = SYSLOG_UDP_BUFFER;
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&buffer, sizeof buffer);
    } else {
        setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, (const char*)&on, sizeof on);
    }
    u_long nonBlocking = 1;
    if (bind(s, (sockaddr*)&where, length) != 0 || (tcp && ::listen(s, SOMAXCONN) != 0) ||
        ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        int error = WSAGetLastError();
        closesocket(s);
        WSASetLastError(error);
        return INVALID_SOCKET;
    }
    return s;
}

static bool OpenListeners() {
    for (int tcp = 0; tcp < 2; ++tcp) {
        const std::vector<ListenAddress>& addresses = tcp ? options.tcpAddresses : options.udpAddresses;
        const std::vector<std::string>& names = tcp ? options.tcp : options.udp;
        for (size_t i = 0; i < addresses.size(); ++i) {
            SOCKET s = OpenListener(addresses[i], tcp != 0);
            if (s == INVALID_SOCKET) {
                fprintf(stderr, "syslogrelay: cannot listen on %s %s (error %d)\n", tcp ? "tcp" : "udp",
                        names[i].c_str(), WSAGetLastError());
                return false;
            }
            listeners.push_back(Listener{s, tcp != 0});
        }
    }
    return true;
}

// --- messages ------------------------------------------------------------------

static std::vector<std::string> batch;  // the lines of one read, queued together
static SyslogMessage message;           // the message in hand, kept so its strings' memory is reused
static std::string line;                // the same for the line it becomes

static void HandleMessage(const char* data, size_t size, const std::string& sender) {
    ++counts.received;
    ParseSyslog(data, size, &message);
    if (message.severity > options.minSeverity) {
        ++counts.tooLow;
        return;
    }
    line.clear();
    if (options.rules.time) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        AppendClockTime(ClockTime{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds}, &line);
    }
    size_t stamp = line.size();
    AppendSyslogLine(message, sender, options.raw, &line);
    Utf8ToCp932(&line, &lostCharacters);  // the stamp is ASCII: the same either way
    if (!LinePasses(options.rules, line.data() + stamp, line.size() - stamp)) {
        ++counts.filtered;
        return;
    }
    batch.push_back(line);
}

// Queues what one read produced, in one go.
static void FlushBatch() {
    QueueLines(batch.data(), batch.size());
    batch.clear();
}

static void ReadDatagrams(SOCKET s) {
    static char buffer[65536];  // any datagram whole
    for (int i = 0; i < SYSLOG_DATAGRAMS_PER_TICK; ++i) {
        sockaddr_storage from;
        int fromLength = sizeof from;
        int got = recvfrom(s, buffer, sizeof buffer, 0, (sockaddr*)&from, &fromLength);
        if (got < 0) {
            int error = WSAGetLastError();
            if (error == WSAEMSGSIZE) {
                ++counts.cut;  // more than any datagram can be: taken as far as it was read
                got = sizeof buffer;
            } else {
                break;  // nothing more (WSAEWOULDBLOCK), or a "port unreachable" of no interest
            }
        }
        NetAddress address = AddressOf(from);
        if (!AddressAllowed(options.allow, address)) {
            ++counts.outsideAllow;
            continue;
        }
        size_t length = DatagramLength(buffer, (size_t)got);
        if (length > options.maxMessage) {
            length = options.maxMessage;
            ++counts.cut;
        }
        HandleMessage(buffer, length, FormatAddress(address));
        if (batch.size() >= 64) FlushBatch();
    }
    FlushBatch();
}

static void CloseConnection(size_t i) {
    closesocket(connections[i].socket);
    connections[i] = std::move(connections.back());
    connections.pop_back();
}

static void AcceptConnection(SOCKET listener) {
    sockaddr_storage from;
    int fromLength = sizeof from;
    SOCKET s = accept(listener, (sockaddr*)&from, &fromLength);
    if (s == INVALID_SOCKET) return;
    NetAddress address = AddressOf(from);
    if (!AddressAllowed(options.allow, address)) {
        ++counts.outsideAllow;
        closesocket(s);
        return;
    }
    if (connections.size() >= SYSLOG_TCP_CONNECTIONS) {
        ++counts.refused;
        closesocket(s);
        return;
    }
    u_long nonBlocking = 1;
    ioctlsocket(s, FIONBIO, &nonBlocking);
    connections.push_back(Connection{s, FormatAddress(address), std::string(), GetTickCount()});
}

// Reads what a connection sent and handles its whole frames; false when it
// is to be closed (the sender closed it, or a frame was bad).
static bool ReadConnection(Connection* connection) {
    static char buffer[65536];
    int got = recv(connection->socket, buffer, sizeof buffer, 0);
    if (got == 0) return false;
    if (got < 0) return WSAGetLastError() == WSAEWOULDBLOCK;
    connection->lastHeard = GetTickCount();
    connection->stream.append(buffer, (size_t)got);
    std::string frame;
    size_t taken = 0;
    FrameResult result;
    while ((result = TakeFrame(connection->stream, &taken, options.maxMessage, &frame)) == FRAME_TAKEN)
        HandleMessage(frame.data(), frame.size(), connection->peer);
    FlushBatch();
    if (result == FRAME_BAD) {
        ++counts.badFrames;
        return false;
    }
    connection->stream.erase(0, taken);
    return true;
}

static DWORD WINAPI NetworkThread(void*) {
    while (!stopping) {
        fd_set readable;
        FD_ZERO(&readable);
        for (const Listener& listener : listeners) FD_SET(listener.socket, &readable);
        for (const Connection& connection : connections) FD_SET(connection.socket, &readable);
        timeval wait = {0, SYSLOG_TICK_MS * 1000};
        if (select(0, &readable, nullptr, nullptr, &wait) < 0) {
            Sleep(SYSLOG_TICK_MS);  // only a broken socket set gets here; it is rebuilt next time
            continue;
        }
        for (const Listener& listener : listeners) {
            if (!FD_ISSET(listener.socket, &readable)) continue;
            if (listener.tcp)
                AcceptConnection(listener.socket);
            else
                ReadDatagrams(listener.socket);
        }
        DWORD now = GetTickCount();
        for (size_t i = connections.size(); i-- > 0;) {
            Connection& connection = connections[i];
            bool heard = FD_ISSET(connection.socket, &readable) != 0;
            bool open = !heard || ReadConnection(&connection);
            if (open && !heard && now - connection.lastHeard >= SYSLOG_IDLE_MS) {
                ++counts.idle;
                open = false;
            }
            if (!open) CloseConnection(i);
        }
    }
    return 0;
}

// --- the main thread -------------------------------------------------------

static std::string Listening() {
    std::string text;
    for (const std::string& name : options.udp) text += (text.empty() ? "udp " : ", udp ") + name;
    for (const std::string& name : options.tcp) text += (text.empty() ? "tcp " : ", tcp ") + name;
    return text;
}

static void PrintCounts(unsigned long long delivered) {
    unsigned long long undelivered = SenderDropped();
    unsigned long long dropped = counts.outsideAllow + counts.tooLow + counts.filtered + undelivered;
    fprintf(stderr,
            "syslogrelay: %llu received, %llu delivered, %llu dropped (%llu from outside --allow, %llu below "
            "--min-severity, %llu by the filters, %llu while the monitor was away); %llu cut at --max-message; "
            "connections: %llu closed for a bad frame, %llu refused (%u at once), %llu closed idle\n",
            counts.received, delivered, dropped, counts.outsideAllow, counts.tooLow, counts.filtered, undelivered,
            counts.cut, counts.badFrames, counts.refused, (unsigned)SYSLOG_TCP_CONNECTIONS, counts.idle);
    if (lostCharacters)
        fprintf(stderr, "syslogrelay: %zu character%s not in CP932 sent as '?'\n", lostCharacters,
                lostCharacters == 1 ? "" : "s");
}

int main(int argc, char** argv) {
    int parsed = ParseArguments(argc, argv);
    if (parsed == 1) {
        PrintUsage(stdout);
        return 0;
    }
    if (parsed == 3) {
        printf("syslogrelay %s\n", TOVREL_VERSION);
        return 0;
    }
    if (parsed != 0) return 2;  // the reason is said, in one line
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0 || !CreateStopWindow(SYSLOG_WINDOW_CLASS, "syslogrelay")) {
        fprintf(stderr, "syslogrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    if (!OpenListeners()) return 1;
    SenderSetup sender = {"syslogrelay", "message", slotPath, options.host == ".", options.host != "."};
    if (!StartSender(sender)) return 1;
    HANDLE network = CreateThread(nullptr, 0, NetworkThread, nullptr, 0, nullptr);
    if (!network) {
        fprintf(stderr, "syslogrelay: cannot start (error %lu)\n", GetLastError());
        return 1;
    }
    fprintf(stderr, "syslogrelay: listening on %s; sending to %s; Ctrl+C stops\n", Listening().c_str(), slotPath);
    RunUntilStopped();
    InterlockedExchange(&stopping, 1);
    StopQueueing();
    WaitForSingleObject(network, INFINITE);
    for (const Connection& connection : connections) closesocket(connection.socket);
    for (const Listener& listener : listeners) closesocket(listener.socket);
    PrintCounts(StopSender(RELAY_STOP_WAIT_MS));
    SignalStopped();
    WSACleanup();
    return 0;
}
