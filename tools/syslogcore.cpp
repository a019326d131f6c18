// Syslog for the writer-side tools (see syslogcore.h).
#include "syslogcore.h"
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

// --- frames --------------------------------------------------------------------

size_t DatagramLength(const char* data, size_t size) {
    if (size && data[size - 1] == '\0') return size - 1;
    if (size && data[size - 1] == '\n') --size;
    if (size && data[size - 1] == '\r') --size;
    return size;
}

FrameResult TakeFrame(const std::string& stream, size_t* offset, size_t limit, std::string* frame) {
    if (*offset >= stream.size()) return FRAME_NONE;
    const char* data = stream.data() + *offset;
    size_t size = stream.size() - *offset;
    if (data[0] >= '0' && data[0] <= '9') {
        // Octet counting: "LEN SP MSG". A count may not start with 0.
        if (data[0] == '0') return FRAME_BAD;
        uint64_t count = 0;
        size_t i = 0;
        while (i < size && data[i] >= '0' && data[i] <= '9') {
            if (i == SYSLOG_COUNT_DIGITS) return FRAME_BAD;
            count = count * 10 + (uint64_t)(data[i] - '0');
            ++i;
        }
        if (i == size) return FRAME_NONE;
        if (data[i] != ' ' || count > limit) return FRAME_BAD;
        if (size - i - 1 < count) return FRAME_NONE;
        frame->assign(data + i + 1, (size_t)count);
        *offset += i + 1 + (size_t)count;
        return FRAME_TAKEN;
    }
    // A trailer ends the frame: LF, or NUL (Python's handler over TCP).
    size_t end = 0;
    while (end < size && data[end] != '\n' && data[end] != '\0') ++end;
    if (end == size) return size > limit ? FRAME_BAD : FRAME_NONE;
    size_t length = end;
    if (length && data[length - 1] == '\r') --length;
    if (length > limit) return FRAME_BAD;
    frame->assign(data, length);
    // A NUL that a LF follows, or the other way round, is one trailer.
    size_t next = end + 1;
    if (next < size && data[next] != data[end] && (data[next] == '\n' || data[next] == '\0')) ++next;
    *offset += next;
    return FRAME_TAKEN;
}

// --- messages --------------------------------------------------------------------

// "<PRIVAL>" at the start: its value, with `*at` past it; -1 when there is none.
static int ParsePriority(const char* data, size_t size, size_t* at) {
    if (size < 3 || data[0] != '<') return -1;
    int value = 0;
    size_t i = 1;
    while (i < size && i <= 3 && data[i] >= '0' && data[i] <= '9') value = value * 10 + (data[i++] - '0');
    if (i == 1 || i >= size || data[i] != '>' || value > 191) return -1;
    *at = i + 1;
    return value;
}

// A field of a header: where it starts in the message, and its length.
struct Field {
    size_t start = 0, length = 0;
};

// The next field up to a space (or the end); false when it is empty.
static bool NextField(const char* data, size_t size, size_t* at, Field* field) {
    size_t start = *at, end = start;
    while (end < size && data[end] != ' ') ++end;
    if (end == start) return false;
    *field = Field{start, end - start};
    *at = end < size ? end + 1 : end;
    return true;
}

// A field's text, or nothing for the nil value "-".
static void AssignField(const char* data, const Field& field, std::string* out) {
    if (field.length == 1 && data[field.start] == '-')
        out->clear();
    else
        out->assign(data + field.start, field.length);
}

// Skips "-" or one or more "[ID PARAM="VALUE" ...]" elements; false when they
// do not close.
static bool SkipStructuredData(const char* data, size_t size, size_t* at) {
    size_t i = *at;
    if (i < size && data[i] == '-') {
        *at = i + 1;
        return true;
    }
    if (i >= size || data[i] != '[') return false;
    while (i < size && data[i] == '[') {
        bool quoted = false;
        for (++i; i < size; ++i) {
            if (quoted && data[i] == '\\') {
                ++i;  // the escaped character, whatever it is
            } else if (data[i] == '"') {
                quoted = !quoted;
            } else if (!quoted && data[i] == ']') {
                break;
            }
        }
        if (i >= size) return false;
        ++i;  // past ']'
    }
    *at = i;
    return true;
}

static bool Parse5424(const char* data, size_t size, size_t at, SyslogMessage* message) {
    // VERSION SP TIMESTAMP SP HOSTNAME SP APP-NAME SP PROCID SP MSGID SP SD [SP MSG]
    if (at >= size || data[at] < '1' || data[at] > '9') return false;
    size_t i = at;
    while (i < size && i - at < 3 && data[i] >= '0' && data[i] <= '9') ++i;
    if (i >= size || data[i] != ' ') return false;
    ++i;
    Field fields[5];  // TIMESTAMP HOSTNAME APP-NAME PROCID MSGID
    for (Field& field : fields)
        if (!NextField(data, size, &i, &field)) return false;
    if (i > 0 && data[i - 1] != ' ') return false;  // the header ended before the structured data
    if (!SkipStructuredData(data, size, &i)) return false;
    if (i < size && data[i] != ' ') return false;
    if (i < size) ++i;
    message->format = SYSLOG_5424;
    AssignField(data, fields[1], &message->host);
    AssignField(data, fields[2], &message->app);
    if (size - i >= 3 && memcmp(data + i, "\xEF\xBB\xBF", 3) == 0) {
        message->bom = true;
        i += 3;
    }
    message->text.assign(data + i, size - i);
    return true;
}

static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "Mmm dd hh:mm:ss " (the day may be space-padded).
static bool Skip3164Time(const char* data, size_t size, size_t* at) {
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    size_t i = *at;
    if (size - i < 16) return false;
    bool month = false;
    for (int m = 0; m < 12 && !month; ++m) month = memcmp(data + i, months + 3 * m, 3) == 0;
    const char* t = data + i;
    if (!month || t[3] != ' ' || !(t[4] == ' ' || IsDigit(t[4])) || !IsDigit(t[5]) || t[6] != ' ' || !IsDigit(t[7]) ||
        !IsDigit(t[8]) || t[9] != ':' || !IsDigit(t[10]) || !IsDigit(t[11]) || t[12] != ':' || !IsDigit(t[13]) ||
        !IsDigit(t[14]) || t[15] != ' ')
        return false;
    *at = i + 16;
    return true;
}

// A tag: the characters before ':' or '[', no spaces; `*at` moves past
// "TAG: ", "TAG[PID]: " or "TAG[PID] ".
static bool TakeTag(const char* data, size_t size, size_t* at, std::string* tag) {
    size_t i = *at, start = i;
    while (i < size && data[i] != ':' && data[i] != '[' && data[i] != ' ') ++i;
    if (i == start || i >= size || data[i] == ' ') return false;
    size_t end = i;
    if (data[i] == '[') {
        while (i < size && data[i] != ']') ++i;
        if (i >= size) return false;
        ++i;
        if (i < size && data[i] == ':') ++i;
    } else {
        ++i;  // ':'
    }
    if (i < size && data[i] == ' ') ++i;
    tag->assign(data + start, end - start);
    *at = i;
    return true;
}

static bool Parse3164(const char* data, size_t size, size_t at, SyslogMessage* message) {
    size_t i = at;
    if (!Skip3164Time(data, size, &i)) return false;
    message->format = SYSLOG_3164;
    // "HOST TAG: MSG"; a sender that leaves the host out starts with the tag.
    Field host;
    if (!TakeTag(data, size, &i, &message->app) && NextField(data, size, &i, &host)) {
        message->host.assign(data + host.start, host.length);
        TakeTag(data, size, &i, &message->app);
    }
    message->text.assign(data + i, size - i);
    return true;
}

void ParseSyslog(const char* data, size_t size, SyslogMessage* message) {
    message->format = SYSLOG_UNPARSED;
    message->severity = 5;
    message->host.clear();
    message->app.clear();
    message->bom = false;
    size_t at = 0;
    int priority = ParsePriority(data, size, &at);
    if (priority < 0) {
        message->text.assign(data, size);
        return;
    }
    message->severity = priority & 7;
    if (Parse5424(data, size, at, message)) return;
    message->host.clear();
    message->app.clear();
    if (Parse3164(data, size, at, message)) return;
    message->format = SYSLOG_UNPARSED;
    message->host.clear();
    message->app.clear();
    message->text.assign(data + at, size - at);
}

SyslogMessage ParseSyslog(const char* data, size_t size) {
    SyslogMessage message;
    ParseSyslog(data, size, &message);
    return message;
}

int ParseSeverity(const std::string& name) {
    static const char* const names[][3] = {
        {"emerg", "emergency", "panic"}, {"alert", "", ""},  {"crit", "critical", ""},      {"err", "error", ""},
        {"warning", "warn", ""},         {"notice", "", ""}, {"info", "informational", ""}, {"debug", "", ""}};
    if (name.size() == 1 && name[0] >= '0' && name[0] <= '7') return name[0] - '0';
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    for (int level = 0; level < 8; ++level)
        for (const char* known : names[level])
            if (*known && lower == known) return level;
    return -1;
}

// Appends `field` with control bytes as '?', so that a sender's host and
// app never break the line.
static void AppendHeadField(const std::string& field, std::string* out) {
    for (char c : field) *out += (unsigned char)c < 0x20 || c == 0x7F ? '?' : c;
}

void AppendSyslogLine(const SyslogMessage& message, const std::string& sender, bool raw, std::string* out) {
    const std::string& text = message.text;
    size_t length = text.size();
    while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
    out->reserve(out->size() + sender.size() + message.host.size() + message.app.size() + length + 8);
    if (!raw) {
        *out += '[';
        AppendHeadField(message.host.empty() ? sender : message.host, out);
        if (!message.app.empty()) {
            *out += ' ';
            AppendHeadField(message.app, out);
        }
        out->append("] ", 2);
    }
    // The text in runs between its line breaks, each break (CR LF, LF or a
    // lone CR) as CR LF.
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        out->append(text, start, i - start);
        out->append("\r\n", 2);
        if (text[i] == '\r' && i + 1 < length && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    out->append(text, start, length - start);
    out->append("\r\n", 2);
}

bool IsUtf8(const char* data, size_t size) {
    const unsigned char* s = (const unsigned char*)data;
    for (size_t i = 0; i < size;) {
        unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t extra;
        unsigned least;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            least = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            least = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            least = 0x10000;
        } else {
            return false;
        }
        if (size - i <= extra) return false;
        unsigned value = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            value = (value << 6) | (s[i + k] & 0x3F);
        }
        if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

bool IsAscii(const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i)
        if ((unsigned char)data[i] >= 0x80) return false;
    return true;
}

// --- addresses -------------------------------------------------------------------

bool ParseAddress(const std::string& text, NetAddress* address) {
    NetAddress parsed;
    if (inet_pton(AF_INET, text.c_str(), parsed.bytes) == 1) {
        *address = parsed;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), parsed.bytes) == 1) {
        parsed.v6 = true;
        *address = parsed;
        return true;
    }
    return false;
}

std::string FormatAddress(const NetAddress& address) {
    char text[64] = "?";
    inet_ntop(address.v6 ? AF_INET6 : AF_INET, (void*)address.bytes, text, sizeof text);
    return text;
}

bool IsLoopback(const NetAddress& address) {
    if (!address.v6) return address.bytes[0] == 127;
    static const uint8_t one[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return memcmp(address.bytes, one, 16) == 0;
}

static bool ParsePort(const std::string& text, uint16_t* port) {
    if (text.empty() || text.size() > 5) return false;
    unsigned value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (unsigned)(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    *port = (uint16_t)value;
    return true;
}

// "[V6]:PORT", "HOST:PORT", "[V6]" or a host alone (the port then empty).
static bool SplitHostPort(const std::string& text, std::string* host, std::string* port) {
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) return false;
        *host = text.substr(1, close - 1);
        port->clear();
        if (close + 1 == text.size()) return true;
        if (text[close + 1] != ':') return false;
        *port = text.substr(close + 2);
        return true;
    }
    size_t colon = text.find(':');
    if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
        *host = text;  // no port, or a bare IPv6 address
        port->clear();
        return true;
    }
    *host = text.substr(0, colon);
    *port = text.substr(colon + 1);
    return true;
}

bool ParseListenAddress(const std::string& text, ListenAddress* listen) {
    ListenAddress parsed;
    std::string host, port;
    if (text.find_first_not_of("0123456789") == std::string::npos) {
        ParseAddress("127.0.0.1", &parsed.address);
        if (!ParsePort(text, &parsed.port)) return false;
    } else if (!SplitHostPort(text, &host, &port) || !ParseAddress(host, &parsed.address) ||
               !ParsePort(port, &parsed.port)) {
        return false;
    }
    *listen = parsed;
    return true;
}

bool ParseAddressRange(const std::string& text, AddressRange* range) {
    AddressRange parsed;
    if (text == "any") {
        parsed.any = true;
        *range = parsed;
        return true;
    }
    size_t slash = text.find('/');
    if (!ParseAddress(text.substr(0, slash), &parsed.address)) return false;
    int most = parsed.address.v6 ? 128 : 32;
    parsed.bits = most;
    if (slash != std::string::npos) {
        std::string bits = text.substr(slash + 1);
        if (bits.empty() || bits.size() > 3 || bits.find_first_not_of("0123456789") != std::string::npos) return false;
        parsed.bits = atoi(bits.c_str());
        if (parsed.bits > most) return false;
    }
    *range = parsed;
    return true;
}

bool AddressAllowed(const std::vector<AddressRange>& ranges, const NetAddress& address) {
    for (const AddressRange& range : ranges) {
        if (range.any) return true;
        if (range.address.v6 != address.v6) continue;
        int whole = range.bits / 8, rest = range.bits % 8;
        if (memcmp(range.address.bytes, address.bytes, (size_t)whole) != 0) continue;
        if (rest) {
            uint8_t mask = (uint8_t)(0xFF << (8 - rest));
            if ((range.address.bytes[whole] & mask) != (address.bytes[whole] & mask)) continue;
        }
        return true;
    }
    return false;
}

bool ParseSyslogTarget(const std::string& text, std::string* host, uint16_t* port) {
    std::string name, portText;
    if (!SplitHostPort(text, &name, &portText) || name.empty()) return false;
    uint16_t value = SYSLOG_DEFAULT_PORT;
    if (!portText.empty() && !ParsePort(portText, &value)) return false;
    *host = name;
    *port = value;
    return true;
}

// --- sending ---------------------------------------------------------------------

// A header field: printable ASCII only, at most `limit` bytes, "-" when empty.
static std::string HeaderField(const std::string& value, size_t limit) {
    std::string field = value.substr(0, limit);
    for (char& c : field)
        if (c < 33 || c > 126) c = '_';
    return field.empty() ? "-" : field;
}

std::string FormatSyslog5424(int severity, const UtcTime& time, const std::string& host, const std::string& app,
                             uint32_t pid, const std::string& textUtf8, bool octetCounted) {
    char head[96];
    snprintf(head, sizeof head, "<%d>1 %04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", 8 + (severity & 7), time.year % 10000,
             time.month % 100, time.day % 100, time.hour % 100, time.minute % 100, time.second % 100,
             time.millisecond % 1000);
    std::string message = head;
    message += HeaderField(host, 255) + ' ' + HeaderField(app, 48) + ' ' + std::to_string(pid) + " - - \xEF\xBB\xBF";
    message += textUtf8;
    if (!octetCounted) return message;
    return std::to_string(message.size()) + ' ' + message;
}
