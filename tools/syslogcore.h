// Syslog for the writer-side tools, apart from Win32: the frames of a TCP
// stream and of a datagram, the two message formats (RFC 5424 and RFC 3164),
// severities, the line a message becomes in the monitor, the UTF-8 rule,
// listen addresses and the allow-list, and the RFC 5424 message the tools
// send. Nothing here trusts the bytes a sender wrote. Portable.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// Tunables of the syslog relay, in one place.
#define SYSLOG_MESSAGE_MAX     (64u << 10)       // the longest message taken (--max-message)
#define SYSLOG_TCP_CONNECTIONS 64                // connections at once; more are refused
#define SYSLOG_IDLE_MS         (5u * 60 * 1000)  // a silent connection is closed after this
#define SYSLOG_DEFAULT_PORT    514
#define SYSLOG_COUNT_DIGITS    10  // an octet count has at most this many digits
#define SYSLOG_SENT_SEVERITY   6   // info: what doutsend and dbgrelay send, kept by usual filters

// --- frames --------------------------------------------------------------------

// The message a datagram carries: without a final LF, CR LF or NUL.
size_t DatagramLength(const char* data, size_t size);

enum FrameResult { FRAME_NONE, FRAME_TAKEN, FRAME_BAD };

// Takes the next frame of a TCP stream's bytes from `*offset` on, moving
// `*offset` past it (the caller drops the bytes before it once, not per
// frame). Each frame is either octet-counted ("LEN SP MSG", RFC 6587) or
// ends at LF (a CR before it, and a NUL in its place as some senders write,
// are not part of it). FRAME_NONE: more bytes are needed. FRAME_BAD: a
// malformed count, a count over `limit`, or a frame still unended after
// `limit` bytes; the connection is to be closed.
FrameResult TakeFrame(const std::string& stream, size_t* offset, size_t limit, std::string* frame);

// --- messages --------------------------------------------------------------------

enum SyslogFormat { SYSLOG_UNPARSED, SYSLOG_5424, SYSLOG_3164 };

struct SyslogMessage {
    SyslogFormat format = SYSLOG_UNPARSED;
    int severity = 5;  // notice, for a message without a priority
    std::string host;  // empty when the message names none
    std::string app;
    std::string text;  // MSG
    bool bom = false;  // MSG began with a UTF-8 byte order mark (removed)
};

// Parses one message. RFC 5424 skips the structured data; RFC 3164 takes the
// tag up to ':' or '['. A message with a valid priority but neither header is
// text after the priority; anything else is text whole. The second form
// fills a message kept between calls, so that a stream of them reuses its
// strings' memory.
SyslogMessage ParseSyslog(const char* data, size_t size);
void ParseSyslog(const char* data, size_t size, SyslogMessage* message);

// A severity from its name (emerg ... debug, with the usual short forms) or
// from 0 to 7; -1 when it is neither.
int ParseSeverity(const std::string& name);

// Appends the line a message becomes: "[HOST APP] MSG" (or MSG alone when
// `raw`), the message's own line breaks as CR LF, then CR LF. `sender` stands
// in for a message that names no host.
void AppendSyslogLine(const SyslogMessage& message, const std::string& sender, bool raw, std::string* out);

// Whether `size` bytes are well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF).
bool IsUtf8(const char* data, size_t size);

// Whether the bytes are all below 0x80, and so the same in UTF-8 and CP932.
bool IsAscii(const char* data, size_t size);

// --- addresses -------------------------------------------------------------------

// An IPv4 or IPv6 address as 16 bytes (IPv4 in the first four).
struct NetAddress {
    bool v6 = false;
    uint8_t bytes[16] = {};
};

bool ParseAddress(const std::string& text, NetAddress* address);
std::string FormatAddress(const NetAddress& address);
bool IsLoopback(const NetAddress& address);

// "[ADDR:]PORT", "[V6ADDR]:PORT"; a bare port means 127.0.0.1.
struct ListenAddress {
    NetAddress address;
    uint16_t port = 0;
};
bool ParseListenAddress(const std::string& text, ListenAddress* listen);

// "ADDR/BITS", "ADDR" (every bit) or "any".
struct AddressRange {
    bool any = false;
    NetAddress address;
    int bits = 0;
};
bool ParseAddressRange(const std::string& text, AddressRange* range);
bool AddressAllowed(const std::vector<AddressRange>& ranges, const NetAddress& address);

// "HOST[:PORT]" or "[V6]:PORT" of a --syslog target; the port defaults to 514.
bool ParseSyslogTarget(const std::string& text, std::string* host, uint16_t* port);

// --- sending ---------------------------------------------------------------------

struct UtcTime {
    int year, month, day, hour, minute, second, millisecond;
};

// One RFC 5424 message (user facility, the given severity, no structured
// data) with `textUtf8` after a byte order mark. Host and app are cut to
// their field limits, and bytes RFC 5424 does not allow there become '_'.
// With `octetCounted` the "LEN " of RFC 6587 comes first.
std::string FormatSyslog5424(int severity, const UtcTime& time, const std::string& host, const std::string& app,
                             uint32_t pid, const std::string& textUtf8, bool octetCounted);
