// The server's side of the sequenced link: numbering, acknowledgement,
// repeats and gaps, the retransmission timer and the window.
#include "server_link.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorpel::callserver {
namespace {

struct RecordingSink final : FrameSink {
    void sendFrame(std::span<const uint8_t> frame) override {
        frames.emplace_back(frame.begin(), frame.end());
    }
    std::vector<std::vector<uint8_t>> frames;
    std::vector<std::vector<uint8_t>> take() { return std::exchange(frames, {}); }
};

const std::vector<uint8_t> ELEMENT{0x20, 0x03, 0xAB, 0xCD};  // an echo

uint8_t seqOf(const std::vector<uint8_t>& frame) { return frame[2] & 7; }
uint8_t ackOf(const std::vector<uint8_t>& frame) { return (frame[2] >> 4) & 7; }
bool isData(const std::vector<uint8_t>& frame) { return frame.size() >= 3 && frame[1] == 0x10; }
bool isAck(const std::vector<uint8_t>& frame) { return frame.size() == 3 && frame[1] == 0x03; }

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { link.reset(); }
    void queueAndFlush(int count) {
        for (int i = 0; i < count; ++i) ASSERT_TRUE(link.queue(ELEMENT));
        link.flush(now, sink);
    }
    // One element per frame: flushing between queues.
    void sendFrames(int count) {
        for (int i = 0; i < count; ++i) queueAndFlush(1);
    }
    ServerLink link;
    RecordingSink sink;
    int64_t now = 10'000;
};

TEST_F(LinkTest, NumbersFramesAndPiggybacksTheAcknowledgement) {
    sendFrames(2);
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], (std::vector<uint8_t>{0xFF, 0x10, 0x00, 0x20, 0x03, 0xAB, 0xCD}));
    EXPECT_EQ(seqOf(frames[1]), 1);
    // The terminal's frame 0 acknowledging our frame 0; our next data frame
    // carries "expecting 1" and no separate ack goes out.
    EXPECT_EQ(link.onDataFrame(0x10, now, sink), ServerLink::Receive::InSequence);
    EXPECT_EQ(link.ackedSeq(), 1);
    ASSERT_TRUE(link.queue(ELEMENT));
    link.flush(now, sink);
    frames = sink.take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(isData(frames[0]));
    EXPECT_EQ(seqOf(frames[0]), 2);
    EXPECT_EQ(ackOf(frames[0]), 1);
}

TEST_F(LinkTest, InSequenceFrameWithNothingToSendIsAckedAtOnce) {
    EXPECT_EQ(link.onDataFrame(0x00, now, sink), ServerLink::Receive::InSequence);
    link.flush(now, sink);
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_TRUE(isAck(frames[0]));
    EXPECT_EQ(frames[0], (std::vector<uint8_t>{0xFF, 0x03, 0x10}));
    link.flush(now, sink);
    EXPECT_TRUE(sink.take().empty());  // owed only once
}

TEST_F(LinkTest, RepeatsAndGapsAreAnsweredOnceWithinTheHoldoff) {
    ASSERT_EQ(link.onDataFrame(0x00, now, sink), ServerLink::Receive::InSequence);
    link.flush(now, sink);
    sink.take();
    // The same frame again: one ack frame naming 1, its elements not taken.
    EXPECT_EQ(link.onDataFrame(0x00, now, sink), ServerLink::Receive::AckedOutOfSequence);
    EXPECT_EQ(sink.take(), (std::vector<std::vector<uint8_t>>{{0xFF, 0x03, 0x10}}));
    // A gap (frame 3 while 1 is expected) within the hold-off: nothing.
    EXPECT_EQ(link.onDataFrame(0x03, now + 100, sink), ServerLink::Receive::Ignored);
    EXPECT_TRUE(sink.take().empty());
    // After the hold-off the gap is answered again.
    EXPECT_EQ(link.onDataFrame(0x03, now + ServerLink::GAP_HOLDOFF_MS, sink),
              ServerLink::Receive::AckedOutOfSequence);
    EXPECT_EQ(sink.take().size(), 1u);
    // The missing frame, then the one after it, are taken in order.
    EXPECT_EQ(link.onDataFrame(0x01, now + 400, sink), ServerLink::Receive::InSequence);
    EXPECT_EQ(link.onDataFrame(0x02, now + 400, sink), ServerLink::Receive::InSequence);
    EXPECT_EQ(link.recvSeq(), 3);
}

TEST_F(LinkTest, StaleAcknowledgementInARepeatDoesNotMoveTheWindow) {
    sendFrames(7);
    sink.take();
    ASSERT_EQ(link.outstanding(), 7);
    // With seven out, every number would lie in the window; a repeated frame
    // whose acknowledgement is old must not be read as acknowledging all.
    ASSERT_EQ(link.onDataFrame(0x00, now, sink), ServerLink::Receive::InSequence);  // acks nothing
    EXPECT_EQ(link.outstanding(), 7);
    link.onDataFrame(0x70, now + 1000, sink);  // a repeat of frame 0 claiming "expecting 7"
    EXPECT_EQ(link.outstanding(), 7);
}

TEST_F(LinkTest, WindowHoldsSevenFramesAndTheRestWaits) {
    sendFrames(9);
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 7u);
    EXPECT_EQ(link.outstanding(), 7);
    EXPECT_EQ(link.pendingBytes(), 2 * ELEMENT.size());
    // The terminal acknowledges three: the waiting elements go out together.
    link.onAckFrame(0x30, now + 10, sink);
    frames = sink.take();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(seqOf(frames[0]), 7);
    EXPECT_EQ(frames[0].size(), 3 + 2 * ELEMENT.size());
    EXPECT_EQ(link.outstanding(), 5);
    EXPECT_EQ(link.pendingBytes(), 0u);
}

TEST_F(LinkTest, LargeBatchesAreSplitAtElementBoundaries) {
    std::vector<uint8_t> row(53, ' ');
    row[0] = 0x40;
    row[1] = 52;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(link.queue(row));
    link.flush(now, sink);
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 3u);  // 4 + 4 + 2 rows
    for (const auto& f : frames) EXPECT_LE(f.size(), 256u);
    EXPECT_EQ(frames[0].size(), 3 + 4 * 53u);
    EXPECT_EQ(frames[2].size(), 3 + 2 * 53u);

    // An element that would end one byte past a full frame opens the next one.
    std::vector<uint8_t> big(200, 0), small(54, 0);
    big[1] = 199;
    small[1] = 53;
    ASSERT_TRUE(link.queue(big) && link.queue(small));
    link.flush(now, sink);
    frames = sink.take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].size(), 3 + 200u);
}

TEST_F(LinkTest, RejectsMalformedElementsAndOverflow) {
    EXPECT_FALSE(link.queue(std::vector<uint8_t>{0x20}));
    EXPECT_FALSE(link.queue(std::vector<uint8_t>{0x20, 0x05, 1}));
    std::vector<uint8_t> big(255, 0);
    big[1] = 254;
    EXPECT_FALSE(link.queue(big));  // cannot fit one frame
    size_t queued = 0;
    while (link.queue(ELEMENT)) ++queued;
    EXPECT_EQ(queued, ServerLink::PENDING_CAPACITY / ELEMENT.size());
}

// Unanswered frames go again, go-back-N, 1.5 s after the last progress;
// after six rounds without progress the terminal is given up.
TEST_F(LinkTest, RetransmitsAfterOneAndAHalfSecondsAndGivesUpAfterSixRounds) {
    sendFrames(3);
    sink.take();
    link.tick(now + 1499, sink);
    EXPECT_TRUE(sink.take().empty());
    link.onDataFrame(0x00, now + 10, sink);  // a frame from the terminal, acknowledging nothing
    link.flush(now + 10, sink);
    sink.take();
    ASSERT_TRUE(link.tick(now + 1500, sink));
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 3u);
    for (uint8_t i = 0; i < 3; ++i) {
        EXPECT_EQ(seqOf(frames[i]), i);
        EXPECT_EQ(ackOf(frames[i]), 1);  // the current acknowledgement
    }
    // An acknowledgement of two is progress: the timer starts again for the last one.
    link.onAckFrame(0x20, now + 1520, sink);
    EXPECT_TRUE(sink.take().empty());  // frame 2 was sent only 20 ms ago
    int64_t t = now + 1520;
    for (int round = 1; round <= 6; ++round) {
        link.tick(t + 1499, sink);
        EXPECT_TRUE(sink.take().empty()) << round;
        ASSERT_TRUE(link.tick(t += 1500, sink)) << round;
        frames = sink.take();
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(seqOf(frames[0]), 2);
    }
    EXPECT_FALSE(link.tick(t + 1500, sink));
}

TEST_F(LinkTest, AckFrameNamingAnOldFrameResendsFromIt) {
    sendFrames(3);
    sink.take();
    // The terminal missed frame 1 and says so once frame 2 arrived.
    link.onAckFrame(0x10, now + 100, sink);
    auto frames = sink.take();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(seqOf(frames[0]), 1);
    EXPECT_EQ(seqOf(frames[1]), 2);
    // Acknowledging everything resends nothing; out-of-window numbers change nothing.
    link.onAckFrame(0x30, now + 200, sink);
    EXPECT_TRUE(sink.take().empty());
    EXPECT_EQ(link.outstanding(), 0);
    link.onAckFrame(0x50, now + 300, sink);
    EXPECT_EQ(link.ackedSeq(), 3);
}

TEST_F(LinkTest, NumbersWrapFromSevenToZero) {
    for (int round = 0; round < 3; ++round) {
        sendFrames(5);
        link.onAckFrame(static_cast<uint8_t>(link.sendSeq() << 4), now, sink);
        EXPECT_EQ(link.outstanding(), 0);
    }
    EXPECT_EQ(link.sendSeq(), 15 % 8);
    // ackedSeq 7, sendSeq 2 after three more: 7, 0, 1, 2 are acceptable, 3 to 6 not.
    sendFrames(3);
    link.onAckFrame(0x50, now, sink);
    EXPECT_EQ(link.ackedSeq(), 7);
    link.onAckFrame(0x10, now, sink);
    EXPECT_EQ(link.ackedSeq(), 1);
}

}  // namespace
}  // namespace vorpel::callserver
