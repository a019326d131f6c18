// The receive buffer: NUL dropping, the NUL after each piece, the wrap at the
// end of the ring, the shown string; the piece cutting and the complete-write
// loop that must end on a broken file.
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>
#include "recvbuf.h"

namespace {

struct Ring {
    ReceiveBuffer buffer;
    Ring() { ResetReceiveBuffer(&buffer); }
    void Add(const std::string& bytes) { AppendPiece(&buffer, (const unsigned char*)bytes.data(), bytes.size()); }
    std::string Shown() const { return std::string(ShownText(&buffer), ShownLength(&buffer)); }
};

TEST(ReceiveBuffer, StartsEmpty) {
    Ring ring;
    EXPECT_EQ(ring.Shown(), "");
    EXPECT_EQ(ring.buffer.writeIndex, 0u);
}

TEST(ReceiveBuffer, PiecesRunOnAndNulsAreDropped) {
    Ring ring;
    ring.Add("abc");
    ring.Add("def");
    EXPECT_EQ(ring.Shown(), "abcdef");
    ring.Add(std::string("a\0b", 3));
    EXPECT_EQ(ring.Shown(), "abcdefab");
    EXPECT_EQ(ring.buffer.writeIndex, 8u);
    ring.Add(std::string("\0\0", 2));
    EXPECT_EQ(ring.Shown(), "abcdefab") << "an all-NUL piece adds nothing";
    ring.Add("");
    EXPECT_EQ(ring.buffer.writeIndex, 8u);
    EXPECT_EQ(ring.buffer.data[8], 0);
}

TEST(ReceiveBuffer, NulFollowsEveryPieceOverAnOlderLap) {
    Ring ring;
    // Leave old text in the buffer, then wrap so that new text lies over it.
    ring.Add(std::string(RECV_BUFFER_SIZE - 1, 'o'));
    ring.Add("x");  // lands on the last byte, index wraps
    ring.Add("new");
    EXPECT_EQ(ring.Shown(), "new") << "old-lap bytes after the index stay hidden";
    EXPECT_EQ(ring.buffer.data[4], 'o');
}

TEST(ReceiveBuffer, WrapAtTheLastByteEmptiesTheText) {
    Ring ring;
    ring.Add(std::string(RECV_BUFFER_SIZE - 1, 'w'));
    EXPECT_EQ(ring.buffer.writeIndex, (uint32_t)RECV_BUFFER_SIZE - 1);
    EXPECT_EQ(ring.Shown().size(), (size_t)RECV_BUFFER_SIZE - 1);
    ring.Add("z");
    EXPECT_EQ(ring.buffer.data[RECV_BUFFER_SIZE - 1], 'z');
    EXPECT_EQ(ring.buffer.writeIndex, 0u);
    EXPECT_EQ(ring.buffer.data[0], 0);
    EXPECT_EQ(ring.Shown(), "");
    ring.Add("top");
    EXPECT_EQ(ring.Shown(), "top");
}

TEST(ReceiveBuffer, WrapInsideOnePieceKeepsItsTail) {
    Ring ring;
    ring.Add(std::string(RECV_BUFFER_SIZE - 2, 'a'));
    ring.Add("12345");  // 1 and 2 end the lap, 345 start the next
    EXPECT_EQ(ring.buffer.data[RECV_BUFFER_SIZE - 2], '1');
    EXPECT_EQ(ring.buffer.data[RECV_BUFFER_SIZE - 1], '2');
    EXPECT_EQ(ring.Shown(), "345");
    EXPECT_EQ(ring.buffer.writeIndex, 3u);
}

TEST(ReceiveBuffer, ShownStringNeverExceeds32767Bytes) {
    Ring ring;
    std::string piece(RECV_PIECE_SIZE, 'k');
    for (int i = 0; i < 100; ++i) {
        ring.Add(piece);
        ASSERT_LT(ring.Shown().size(), (size_t)RECV_BUFFER_SIZE);
        ASSERT_EQ(ring.Shown().size(), ring.buffer.writeIndex);
    }
    // 100 KiB in 1 KiB pieces: three whole laps, then 4 KiB of the fourth.
    EXPECT_EQ(ring.buffer.writeIndex, (uint32_t)(100 * RECV_PIECE_SIZE % RECV_BUFFER_SIZE));
}

TEST(Pieces, MessageIsCutInto1024ByteSlices) {
    std::vector<size_t> cuts;
    for (size_t offset = 0, n; (n = PieceLength(2000, offset)) != 0; offset += n) cuts.push_back(n);
    EXPECT_EQ(cuts, (std::vector<size_t>{1024, 976}));
    EXPECT_EQ(PieceLength(1024, 0), 1024u);
    EXPECT_EQ(PieceLength(1024, 1024), 0u);
    EXPECT_EQ(PieceLength(0, 0), 0u) << "a zero-byte message has no piece";
    EXPECT_EQ(PieceLength(10, 50), 0u);
}

// A file stand-in: takes at most `chunk` bytes a call, fails or stalls on cue.
struct FakeFile {
    std::string contents;
    size_t chunk = 1 << 20;
    int failAtCall = -1;
    int stallAtCall = -1;
    int calls = 0;
};

bool FakeWrite(void* context, const unsigned char* data, size_t size, size_t* written) {
    FakeFile* file = static_cast<FakeFile*>(context);
    int call = file->calls++;
    *written = 0;
    if (call == file->failAtCall) return false;
    if (call == file->stallAtCall) return true;
    size_t n = size < file->chunk ? size : file->chunk;
    file->contents.append((const char*)data, n);
    *written = n;
    return true;
}

TEST(WriteFully, RepeatsShortWritesUntilAllIsOut) {
    FakeFile file;
    file.chunk = 300;
    std::string piece(1024, 'q');
    piece[5] = 0;
    EXPECT_TRUE(WriteFully(FakeWrite, &file, (const unsigned char*)piece.data(), piece.size()));
    EXPECT_EQ(file.contents, piece);
    EXPECT_EQ(file.calls, 4);
}

TEST(WriteFully, FailedOrEmptyWriteEndsThePiece) {
    FakeFile failing;
    failing.chunk = 100;
    failing.failAtCall = 2;
    std::string piece(1000, 'f');
    EXPECT_FALSE(WriteFully(FakeWrite, &failing, (const unsigned char*)piece.data(), piece.size()));
    EXPECT_EQ(failing.calls, 3);
    EXPECT_EQ(failing.contents.size(), 200u);

    FakeFile stalled;
    stalled.chunk = 100;
    stalled.stallAtCall = 1;
    EXPECT_FALSE(WriteFully(FakeWrite, &stalled, (const unsigned char*)piece.data(), piece.size()));
    EXPECT_EQ(stalled.calls, 2) << "a write of nothing must not be retried";
}

}  // namespace
