// The relay's rules: the shared buffer read within its bounds, the line each
// string becomes, and the outbox's packing of lines into messages.
#include <gtest/gtest.h>
#include <string.h>
#include <vector>
#include "relaycore.h"

// A buffer as a writer leaves it: pid, text, and whatever follows.
static std::vector<unsigned char> Buffer(uint32_t pid, const std::string& bytes, size_t size = DBWIN_BUFFER_BYTES) {
    std::vector<unsigned char> buffer(size, 0xEE);
    memcpy(buffer.data(), &pid, 4);
    memcpy(buffer.data() + 4, bytes.data(), std::min(bytes.size(), size - 4));
    return buffer;
}

TEST(RelayBuffer, TextEndsAtTheFirstNulOrAtTheBuffersEnd) {
    DebugString string;
    auto buffer = Buffer(1234, std::string("hello\0junk", 10));
    ASSERT_TRUE(ReadDebugBuffer(buffer.data(), buffer.size(), &string));
    EXPECT_EQ(string.pid, 1234u);
    EXPECT_EQ(std::string(string.text, string.length), "hello");

    buffer = Buffer(7, std::string(4092, 'x'));  // no NUL anywhere after the pid
    ASSERT_TRUE(ReadDebugBuffer(buffer.data(), buffer.size(), &string));
    EXPECT_EQ(string.length, 4092u);
    EXPECT_EQ(string.text + string.length, (const char*)buffer.data() + buffer.size());

    buffer = Buffer(7, std::string(1, '\0'));
    ASSERT_TRUE(ReadDebugBuffer(buffer.data(), buffer.size(), &string));
    EXPECT_EQ(string.length, 0u);
    buffer = Buffer(9, "", 4);
    ASSERT_TRUE(ReadDebugBuffer(buffer.data(), 4, &string));
    EXPECT_EQ(string.length, 0u);
    EXPECT_FALSE(ReadDebugBuffer(buffer.data(), 3, &string));
}

static std::string Line(const RelayFormat& format, const std::string& text, uint32_t pid = 42,
                        const std::string& name = "app.exe") {
    std::string out = "old|";
    AppendRelayLine(format, DebugString{pid, text.data(), text.size()}, name, &out);
    EXPECT_EQ(out.compare(0, 4, "old|"), 0) << "appends";
    return out.substr(4);
}

TEST(RelayLine, LineEndsAddedOnceAndPrefixesAsAsked) {
    RelayFormat plain;
    EXPECT_EQ(Line(plain, "text"), "text\r\n");
    EXPECT_EQ(Line(plain, "text\r\n"), "text\r\n");
    EXPECT_EQ(Line(plain, "text\n"), "text\n");
    EXPECT_EQ(Line(plain, "text\r"), "text\r\n");
    EXPECT_EQ(Line(plain, "two\r\nlines"), "two\r\nlines\r\n");
    EXPECT_EQ(Line(plain, ""), "\r\n");
    EXPECT_EQ(Line(plain, "\x95\x5C"), "\x95\x5C\r\n") << "a Shift-JIS pair goes as it is";

    RelayFormat raw;
    raw.raw = true;
    EXPECT_EQ(Line(raw, "part"), "part");
    RelayFormat pid;
    pid.pid = true;
    EXPECT_EQ(Line(pid, "x", 4294967295u), "[4294967295] x\r\n");
    RelayFormat name;
    name.name = true;
    EXPECT_EQ(Line(name, "x\n", 1234), "[1234 app.exe] x\n");
    name.raw = true;
    EXPECT_EQ(Line(name, "", 5, "?"), "[5 ?] ");

    EXPECT_EQ(ExecutableName("C:\\Program Files\\app.exe"), "app.exe");
    EXPECT_EQ(ExecutableName("/usr/bin/wine"), "wine");
    EXPECT_EQ(ExecutableName("bare.exe"), "bare.exe");
}

TEST(RelayOutbox, MessagesTakeWholeLinesInOrderUpToTheLimit) {
    RelayOutbox outbox;
    for (const char* line : {"aaaa", "bbbb", "cc", "dddddddddd", "e"}) PushRelayLine(&outbox, line);
    EXPECT_EQ(outbox.bytes, 21u);
    std::string message;
    EXPECT_EQ(TakeRelayMessage(&outbox, 10, &message), 3u);
    EXPECT_EQ(message, "aaaabbbbcc");
    EXPECT_EQ(TakeRelayMessage(&outbox, 5, &message), 1u) << "a line over the limit goes alone";
    EXPECT_EQ(message, "dddddddddd");
    EXPECT_EQ(TakeRelayMessage(&outbox, 0, &message), 1u);
    EXPECT_EQ(message, "e");
    EXPECT_EQ(outbox.bytes, 0u);
    EXPECT_EQ(TakeRelayMessage(&outbox, 10, &message), 0u);
    EXPECT_EQ(message, "");

    PushRelayLine(&outbox, std::string(RELAY_OUTBOX_BYTES - 1, 'x'));
    EXPECT_FALSE(RelayOutboxFull(outbox));
    PushRelayLine(&outbox, "y");
    EXPECT_TRUE(RelayOutboxFull(outbox));
    TakeRelayMessage(&outbox, RELAY_MESSAGE_BYTES, &message);
    EXPECT_FALSE(RelayOutboxFull(outbox));
}
