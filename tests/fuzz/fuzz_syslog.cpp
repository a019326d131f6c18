// Fuzz target of what a syslog sender controls: the bytes of a TCP stream,
// cut into reads anywhere, taken apart into frames, each parsed and made
// into a monitor line. Whatever the bytes, a frame stays within the limit,
// the unread rest stays bounded, a message parsed into one kept from the
// frames before ends as a fresh one does, and a line ends with CR LF with no
// other line break but CR LF in it.
#include "syslogcore.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static const size_t kLimit = 512;

static void CheckLine(const std::string& frame) {
    SyslogMessage message = ParseSyslog(frame.data(), frame.size());
    if (message.severity < 0 || message.severity > 7 || message.text.size() > frame.size()) abort();
    // A message kept from the frames before (as the relay keeps one) ends the same.
    static SyslogMessage kept;
    ParseSyslog(frame.data(), frame.size(), &kept);
    if (kept.format != message.format || kept.severity != message.severity || kept.host != message.host ||
        kept.app != message.app || kept.text != message.text || kept.bom != message.bom)
        abort();
    std::string line;
    AppendSyslogLine(message, "192.0.2.1", frame.size() & 1, &line);
    if (line.size() < 2 || line.compare(line.size() - 2, 2, "\r\n") != 0) abort();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' && (i + 1 == line.size() || line[i + 1] != '\n')) abort();
        if (line[i] == '\n' && (i == 0 || line[i - 1] != '\r')) abort();
    }
    IsUtf8(message.text.data(), message.text.size());
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte sets the read size, so frames split anywhere.
    size_t chunk = 1 + data[0] % 64;
    std::string stream, frame;
    for (size_t at = 1; at < size; at += chunk) {
        stream.append((const char*)data + at, size - at < chunk ? size - at : chunk);
        FrameResult result;
        size_t taken = 0;
        while ((result = TakeFrame(stream, &taken, kLimit, &frame)) == FRAME_TAKEN) {
            if (frame.size() > kLimit || taken > stream.size()) abort();
            CheckLine(frame);
        }
        if (result == FRAME_BAD) return 0;  // the connection is closed here
        stream.erase(0, taken);
        if (stream.size() > kLimit + SYSLOG_COUNT_DIGITS + 1 + chunk) abort();
    }
    // The same bytes as one datagram.
    size_t length = DatagramLength((const char*)data + 1, size - 1);
    if (length > size - 1) abort();
    CheckLine(std::string((const char*)data + 1, length));
    return 0;
}
