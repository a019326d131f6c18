// One poll tick against a scripted mailslot, log.txt and clock: the budget and
// the backlog it leaves, the single refresh, and log.txt opened at most once.
#include <gtest/gtest.h>
#include <deque>
#include <string>
#include <vector>
#include "polltick.h"
#include "sjis.h"

namespace {

struct FakeIo {
    std::deque<std::string> slot;
    std::string current;  // the message last read
    uint64_t clock = 0;
    uint64_t readCost = 0;  // the clock advances this much per read
    bool queryFails = false, readFails = false, openFails = false;
    int failWrites = 0;  // the next writes fail
    int opens = 0, closes = 0;
    bool logOpen = false;
    std::string log;
    std::vector<std::string> refreshes;
    std::vector<size_t> kept;  // what each refresh said the pane held already
};

FakeIo& Io(void* context) {
    return *static_cast<FakeIo*>(context);
}

SlotState Query(void* context, uint32_t* size) {
    FakeIo& io = Io(context);
    if (io.queryFails) return SLOT_FAILED;
    if (io.slot.empty()) return SLOT_EMPTY;
    *size = (uint32_t)io.slot.front().size();
    return SLOT_WAITING;
}

bool Read(void* context, uint32_t size, const unsigned char** data, size_t* length) {
    FakeIo& io = Io(context);
    if (io.readFails) return false;
    EXPECT_EQ(size, io.slot.front().size());
    io.current = io.slot.front();
    io.slot.pop_front();
    io.clock += io.readCost;
    *data = (const unsigned char*)io.current.data();
    *length = io.current.size();
    return true;
}

bool OpenLog(void* context) {
    FakeIo& io = Io(context);
    EXPECT_FALSE(io.logOpen) << "log.txt opened twice";
    ++io.opens;
    io.logOpen = !io.openFails;
    return io.logOpen;
}

bool WriteLog(void* context, const unsigned char* data, size_t size, size_t* written) {
    FakeIo& io = Io(context);
    EXPECT_TRUE(io.logOpen);
    if (io.failWrites > 0) {
        --io.failWrites;
        *written = 0;
        return false;
    }
    io.log.append((const char*)data, size);
    *written = size;
    return true;
}

void CloseLog(void* context) {
    FakeIo& io = Io(context);
    EXPECT_TRUE(io.logOpen);
    io.logOpen = false;
    ++io.closes;
}

void Refresh(void* context, const char* text, size_t kept) {
    FakeIo& io = Io(context);
    io.refreshes.push_back(text);
    io.kept.push_back(kept);
}

uint64_t Now(void* context) {
    return Io(context).clock;
}

struct Monitor {
    FakeIo io;
    ReceiveBuffer buffer;
    PaneShown pane = {};
    uint8_t logToFile = 1;
    PollPort port = {&io, Query, Read, OpenLog, WriteLog, CloseLog, Refresh, Now};
    Monitor() { ResetReceiveBuffer(&buffer); }
    TickResult Tick() {
        TickResult result = RunPollTick(&port, &buffer, &pane, &logToFile);
        EXPECT_FALSE(io.logOpen) << "log.txt left open after the tick";
        return result;
    }
    void Send(const std::string& message) { io.slot.push_back(message); }
};

std::string Numbered(int i, size_t size) {
    std::string message = std::to_string(i) + ":";
    message.resize(size, '.');
    return message;
}

TEST(PollTick, BudgetLeavesABacklogInOrderAndTheNextTicksTakeIt) {
    Monitor m;
    m.io.readCost = POLL_TICK_BUDGET_US / 4;  // the budget covers four reads
    std::string sent;
    for (int i = 0; i < 10; ++i) {
        m.Send(Numbered(i, 20));
        sent += Numbered(i, 20);
    }
    TickResult first = m.Tick();
    EXPECT_EQ(first.end, TICK_BACKLOG);
    EXPECT_EQ(first.messages, 4u);
    EXPECT_TRUE(NeedsFollowUp(&first));
    EXPECT_EQ(m.io.slot.size(), 6u);
    EXPECT_EQ(m.io.slot.front(), Numbered(4, 20)) << "what still waits stays in order";
    EXPECT_EQ(m.Tick().end, TICK_BACKLOG);
    TickResult last = m.Tick();
    EXPECT_EQ(last.end, TICK_DRAINED);
    EXPECT_EQ(last.messages, 2u);
    EXPECT_TRUE(NeedsFollowUp(&last)) << "a writer may still be writing";
    EXPECT_EQ(m.io.log, sent);
    EXPECT_EQ(m.io.opens, 3);
    EXPECT_EQ(m.io.closes, 3);
    ASSERT_EQ(m.io.refreshes.size(), 1u) << "the two ticks that left a backlog come before the fourth";
    EXPECT_EQ(m.io.refreshes.back(), sent);
}

TEST(PollTick, InAFloodEveryFourthBacklogTickRefreshesAndThePaneEndsExact) {
    static_assert(POLL_FLOOD_REFRESH_TICKS == 4, "the scenario counts four ticks to a refresh");
    Monitor m;
    m.io.readCost = POLL_TICK_BUDGET_US / 4;
    std::string sent;
    for (int i = 0; i < 38; ++i) {
        m.Send(Numbered(i, 20));
        sent += Numbered(i, 20);
    }
    while (m.Tick().end == TICK_BACKLOG) {}
    // Nine ticks left a backlog; the 4th and 8th refreshed, then the tenth emptied the slot.
    ASSERT_EQ(m.io.refreshes.size(), 3u);
    EXPECT_EQ(m.io.refreshes[0], sent.substr(0, 16 * 20));
    EXPECT_EQ(m.io.refreshes[1], sent.substr(0, 32 * 20));
    EXPECT_EQ(m.io.refreshes[2], sent);
    EXPECT_EQ(m.io.kept, (std::vector<size_t>{0, 16 * 20, 32 * 20})) << "each appends after the last refresh";

    // A pane left behind is refreshed by the next tick even when that takes nothing.
    for (int i = 0; i < 5; ++i) m.Send("x");
    EXPECT_EQ(m.Tick().end, TICK_BACKLOG);
    ASSERT_EQ(m.io.refreshes.size(), 3u);
    m.io.queryFails = true;
    TickResult failed = m.Tick();
    EXPECT_EQ(failed.messages, 0u);
    ASSERT_EQ(m.io.refreshes.size(), 4u);
    EXPECT_EQ(m.io.refreshes.back(), sent + "xxxx");
}

TEST(PollTick, SpentBudgetStillTakesOneMessageEachTick) {
    Monitor m;
    m.io.readCost = 10 * POLL_TICK_BUDGET_US;       // one huge message costs more than the budget
    m.io.clock = UINT64_MAX - POLL_TICK_BUDGET_US;  // and the clock is near its end
    m.Send("a");
    m.Send("b");
    EXPECT_EQ(m.Tick().messages, 1u);
    TickResult second = m.Tick();
    EXPECT_EQ(second.messages, 1u);
    EXPECT_EQ(second.end, TICK_DRAINED);
    ASSERT_EQ(m.io.refreshes.size(), 1u);
    EXPECT_EQ(m.io.refreshes.back(), "ab");
}

TEST(PollTick, QuietTickTouchesNeitherPaneNorLog) {
    Monitor m;
    TickResult tick = m.Tick();
    EXPECT_EQ(tick.end, TICK_DRAINED);
    EXPECT_EQ(tick.messages, 0u);
    EXPECT_FALSE(NeedsFollowUp(&tick)) << "an empty slot ends the follow-up";
    EXPECT_TRUE(m.io.refreshes.empty());
    EXPECT_EQ(m.io.opens, 0);
    m.logToFile = 0;
    m.Send("unlogged");
    m.Send("");  // a zero-byte message still refreshes
    EXPECT_EQ(m.Tick().messages, 2u);
    EXPECT_EQ(m.io.opens, 0);
    EXPECT_EQ(m.io.refreshes, std::vector<std::string>{"unlogged"});
}

TEST(PollTick, RefusedLogTurnsLoggingOffAtTheFirstPieceAndTheTextStillShows) {
    Monitor m;
    m.io.openFails = true;
    m.Send(std::string(3000, 'x'));
    m.Send("tail");
    EXPECT_EQ(m.Tick().end, TICK_DRAINED);
    EXPECT_EQ(m.logToFile, 0);
    EXPECT_EQ(m.io.opens, 1) << "no second attempt once logging is off";
    EXPECT_EQ(m.io.closes, 0);
    EXPECT_EQ(m.io.refreshes.back(), std::string(3000, 'x') + "tail");
    m.Send("later");
    m.Tick();
    EXPECT_EQ(m.io.opens, 1);
}

TEST(PollTick, FailedWriteEndsOnlyItsPiece) {
    Monitor m;
    std::string message(2000, 'p');
    message[0] = 'A';
    message[RECV_PIECE_SIZE] = 'B';
    m.io.failWrites = 1;
    m.Send(message);
    m.Tick();
    EXPECT_EQ(m.io.log, message.substr(RECV_PIECE_SIZE)) << "the second piece is written after the first failed";
    EXPECT_EQ(m.logToFile, 1);
    EXPECT_EQ(m.io.log.size(), 976u);
}

TEST(PollTick, FailuresStopTheTickAndKeepWhatWasTaken) {
    Monitor m;
    m.Send("kept");
    m.Send("waits");
    // The second read fails: the first message is shown, the second waits.
    struct FailSecond {
        static bool Read2(void* context, uint32_t size, const unsigned char** data, size_t* length) {
            FakeIo& io = Io(context);
            if (io.current == "kept") return false;
            return Read(context, size, data, length);
        }
    };
    m.port.read = FailSecond::Read2;
    TickResult tick = m.Tick();
    EXPECT_EQ(tick.end, TICK_STOPPED);
    EXPECT_EQ(tick.messages, 1u);
    EXPECT_EQ(m.io.refreshes, std::vector<std::string>{"kept"});
    EXPECT_EQ(m.io.slot.front(), "waits");
    m.io.queryFails = true;
    EXPECT_EQ(m.Tick().end, TICK_STOPPED);
    EXPECT_EQ(m.io.refreshes.size(), 1u);
}

TEST(PollTick, WrapWithinOneTickShowsWhatARefreshPerMessageWouldLeave) {
    Monitor m;
    ReceiveBuffer perMessage;
    ResetReceiveBuffer(&perMessage);
    std::string lastShown;
    for (int i = 0; i < 400; ++i) {  // 40,000 bytes: over one lap of the ring
        std::string message = Numbered(i, 100);
        message[50] = '\0';  // NULs count for nothing in the ring
        m.Send(message);
        AppendPiece(&perMessage, (const unsigned char*)message.data(), message.size());
        lastShown = ShownText(&perMessage);
    }
    EXPECT_EQ(m.Tick().messages, 400u);
    ASSERT_EQ(m.io.refreshes.size(), 1u);
    EXPECT_EQ(m.io.refreshes[0], lastShown);
    EXPECT_LT(lastShown.size(), 40000u - RECV_BUFFER_SIZE);
    EXPECT_EQ(m.io.log.size(), 40000u);
}

TEST(PollTick, RefreshAppendsOnlyWhatGrewAndNeverAcrossASplitCharacterOrAWrap) {
    Monitor m;
    auto refresh = [&](const std::string& message) {
        m.Send(message);
        m.Tick();
        return PaneAppendStart(m.io.refreshes.back().c_str(), m.io.kept.back(), IsShiftJisLeadByte);
    };
    EXPECT_EQ(refresh("first "), PANE_KEEPS_NOTHING);  // an empty pane is simply set
    EXPECT_EQ(refresh("second "), 6u);
    EXPECT_EQ(refresh("\x95"), 13u);                     // the lead byte of "表" comes alone
    EXPECT_EQ(refresh("\x5C end"), PANE_KEEPS_NOTHING);  // its trail may not be appended after it
    EXPECT_EQ(m.io.refreshes.back(), "first second \x95\x5C end");
    EXPECT_EQ(refresh(std::string(RECV_BUFFER_SIZE, 'w')), PANE_KEEPS_NOTHING);  // a wrap
    EXPECT_EQ(m.io.kept.back(), PANE_KEEPS_NOTHING);
    EXPECT_EQ(refresh("after"), m.io.refreshes[m.io.refreshes.size() - 2].size());
}

}  // namespace
