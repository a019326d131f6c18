// Syslog's portable rules: frames, both formats, the line, the UTF-8 rule,
// addresses and the allow-list, and the message the tools send.
#include <gtest/gtest.h>
#include "syslogcore.h"

static std::string Line(const std::string& raw, bool rawLine = false) {
    std::string out;
    AppendSyslogLine(ParseSyslog(raw.data(), raw.size()), "10.0.0.9", rawLine, &out);
    return out;
}

TEST(Syslog, FramesOfDatagramsAndStreams) {
    EXPECT_EQ(DatagramLength("abc\n", 4), 3u);
    EXPECT_EQ(DatagramLength("abc\r\n", 5), 3u);
    EXPECT_EQ(DatagramLength("abc\0", 4), 3u);
    EXPECT_EQ(DatagramLength("abc", 3), 3u);

    // Both framings in one stream, a frame split across reads, the NUL
    // trailer, and what closes a connection.
    std::string stream = "5 <1>ab4 <2>", frame;
    size_t at = 0;
    EXPECT_EQ(TakeFrame(stream, &at, 100, &frame), FRAME_TAKEN);
    EXPECT_EQ(frame, "<1>ab");
    EXPECT_EQ(TakeFrame(stream, &at, 100, &frame), FRAME_NONE);
    stream += std::string("x<3>line\r\n<4>py\0<5>tail", 23);
    for (const char* wanted : {"<2>x", "<3>line", "<4>py"}) {
        EXPECT_EQ(TakeFrame(stream, &at, 100, &frame), FRAME_TAKEN);
        EXPECT_EQ(frame, wanted);
    }
    EXPECT_EQ(TakeFrame(stream, &at, 100, &frame), FRAME_NONE);
    EXPECT_EQ(stream.substr(at), "<5>tail");
    for (std::string bad : {std::string("0 x"), std::string("12x "), std::string("101 x"), std::string("99999999999 "),
                            std::string(101, 'a')}) {
        at = 0;
        EXPECT_EQ(TakeFrame(bad, &at, 100, &frame), FRAME_BAD) << bad;
    }
}

TEST(Syslog, BothFormatsAndTheLineTheyBecome) {
    EXPECT_EQ(Line("<13>1 2026-12-10T10:00:00.1Z devbox myapp 42 ID7 [timeQuality tzKnown=\"1\" x=\"a\\]b\"] "
                   "\xEF\xBB\xBFhello\nworld"),
              "[devbox myapp] hello\r\nworld\r\n");
    SyslogMessage m = ParseSyslog("<11>1 - - - - - -", 17);
    EXPECT_EQ(m.format, SYSLOG_5424);
    EXPECT_EQ(m.severity, 3);
    EXPECT_EQ(Line("<11>1 - - - - - -"), "[10.0.0.9] \r\n");
    EXPECT_EQ(Line("<13>Dec 10 09:05:01 devbox cron[99]: job done\r"), "[devbox cron] job done\r\n");
    EXPECT_EQ(Line("<13>Dec  1 09:05:01 tag: no host"), "[10.0.0.9 tag] no host\r\n");
    EXPECT_EQ(Line("<14>python says hi"), "[10.0.0.9] python says hi\r\n");  // a priority and no header
    EXPECT_EQ(Line("<999>not a priority"), "[10.0.0.9] <999>not a priority\r\n");
    EXPECT_EQ(Line("<13>1 2026 h a p m [unclosed"), "[10.0.0.9] 1 2026 h a p m [unclosed\r\n");
    EXPECT_EQ(Line("<13>Dec 10 09:05:01 devbox app: a\r\nb\rc", true), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(Line("<13>Dec 10 09:05:01 fake\r\nhost tag: x"), "[fake??host tag] x\r\n");  // no line forged

    EXPECT_EQ(ParseSeverity("Warning"), 4);
    EXPECT_EQ(ParseSeverity("err"), 3);
    EXPECT_EQ(ParseSeverity("7"), 7);
    EXPECT_EQ(ParseSeverity("8"), -1);
    EXPECT_EQ(ParseSeverity("loud"), -1);

    EXPECT_TRUE(IsUtf8("\xE8\xA1\xA8 ok", 6));
    EXPECT_FALSE(IsUtf8("\x95\x5C", 2));          // Shift-JIS, passed on unchanged
    EXPECT_FALSE(IsUtf8("\xC0\xAF", 2));          // overlong
    EXPECT_FALSE(IsUtf8("\xED\xA0\x80", 3));      // a surrogate
    EXPECT_FALSE(IsUtf8("\xE8\xA1", 2));          // cut short
    EXPECT_FALSE(IsUtf8("\xF4\x90\x80\x80", 4));  // past U+10FFFF
}

TEST(Syslog, AddressesTheAllowListAndTheMessageSent) {
    ListenAddress listen;
    ASSERT_TRUE(ParseListenAddress("5140", &listen));
    EXPECT_EQ(FormatAddress(listen.address), "127.0.0.1");
    EXPECT_EQ(listen.port, 5140);
    ASSERT_TRUE(ParseListenAddress("[::1]:514", &listen));
    EXPECT_TRUE(listen.address.v6 && IsLoopback(listen.address));
    ASSERT_TRUE(ParseListenAddress("0.0.0.0:514", &listen));
    EXPECT_FALSE(IsLoopback(listen.address));
    for (const char* bad : {"", "0", "65536", "::1:514", "[::1]", "1.2.3.4:", "host:514"})
        EXPECT_FALSE(ParseListenAddress(bad, &listen)) << bad;

    std::vector<AddressRange> ranges(2);
    ASSERT_TRUE(ParseAddressRange("192.168.1.0/23", &ranges[0]));
    ASSERT_TRUE(ParseAddressRange("::1", &ranges[1]));
    NetAddress address;
    auto allowed = [&](const char* text) { return ParseAddress(text, &address) && AddressAllowed(ranges, address); };
    EXPECT_TRUE(allowed("192.168.0.7"));
    EXPECT_FALSE(allowed("192.168.2.1"));
    EXPECT_TRUE(allowed("::1"));
    EXPECT_FALSE(allowed("::2"));
    EXPECT_FALSE(allowed("127.0.0.1"));
    ASSERT_TRUE(ParseAddressRange("any", &ranges[1]));
    EXPECT_TRUE(allowed("8.8.8.8"));
    EXPECT_FALSE(ParseAddressRange("10.0.0.0/33", &ranges[0]));

    std::string host;
    uint16_t port;
    ASSERT_TRUE(ParseSyslogTarget("devbox", &host, &port));
    EXPECT_EQ(host + ":" + std::to_string(port), "devbox:514");
    ASSERT_TRUE(ParseSyslogTarget("[::1]:5140", &host, &port));
    EXPECT_EQ(host + ":" + std::to_string(port), "::1:5140");
    EXPECT_FALSE(ParseSyslogTarget("devbox:0", &host, &port));

    std::string sent = FormatSyslog5424(6, UtcTime{2026, 12, 10, 9, 5, 7, 42}, "my pc", "app.exe", 77, "hi", true);
    EXPECT_EQ(sent, "57 <14>1 2026-12-10T09:05:07.042Z my_pc app.exe 77 - - \xEF\xBB\xBFhi");
    std::string back = sent.substr(3);
    EXPECT_EQ(back.size(), 57u);
    SyslogMessage parsed = ParseSyslog(back.data(), back.size());
    EXPECT_EQ(parsed.format, SYSLOG_5424);
    EXPECT_TRUE(parsed.bom);
    EXPECT_EQ(parsed.app + "|" + parsed.text, "app.exe|hi");
}
