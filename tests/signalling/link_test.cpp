#include <gtest/gtest.h>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

class Link : public ::testing::Test, public EngineHarness {};

const Bytes KEY_5{0x60, 0x03, 0x00, 0x35};

TEST_F(Link, EighthFrameWithoutAcknowledgementLosesTheLink) {
    connectQuiet();  // ackedSeq 1, sendSeq 1
    for (int i = 0; i < 7; ++i) engine.queueKey(0x0035);
    ASSERT_EQ(ports.frames.size(), 7u);
    EXPECT_EQ(ports.frames[6][4] & 7, 7);
    EXPECT_EQ(link().sendSeq, 0);
    EXPECT_EQ(link().linkLost, 0);
    engine.queueKey(0x0036);
    EXPECT_EQ(ports.frames.size(), 7u);  // not sent
    EXPECT_EQ(link().linkLost, 1);
    tick();
    EXPECT_EQ(state().regState, RegState::Registering);
}

TEST_F(Link, SequenceNumbersWrapFromSevenToZero) {
    connectQuiet();
    for (int i = 0; i < 20; ++i) {
        engine.queueKey(static_cast<uint16_t>(i));
        const uint8_t sent = static_cast<uint8_t>((i + 1) & 7);
        ASSERT_EQ(ports.frames.back()[4], sent) << i;
        deliver({0xFF, 0x03, static_cast<uint8_t>(((sent + 1) & 7) << 4)});
        ASSERT_EQ(link().ackedSeq, (sent + 1) & 7);
    }
    EXPECT_EQ(link().linkLost, 0);
    EXPECT_EQ(ports.frames.size(), 20u);  // no acknowledgement caused a resend
}

TEST_F(Link, AcknowledgementWindowWraps) {
    connect();
    for (uint8_t n = 0; n < 8; ++n) {
        link().ackedSeq = 6;
        link().sendSeq = 1;
        const bool expected = n == 6 || n == 7 || n == 0 || n == 1;
        EXPECT_EQ(engine.acceptAck(static_cast<uint8_t>(n << 4)), expected) << int(n);
        EXPECT_EQ(link().ackedSeq, expected ? n : 6) << int(n);
    }
    // Bits 0 to 3 and 7 play no part.
    link().ackedSeq = 2;
    link().sendSeq = 4;
    EXPECT_TRUE(engine.acceptAck(0xBF));  // bits 4..6 give 3
    EXPECT_EQ(link().ackedSeq, 3);
}

class LinkWithThreeOutstanding : public Link {
protected:
    void SetUp() override {
        connectQuiet();
        engine.queueKey(1);
        engine.queueKey(2);
        engine.queueKey(3);
        ASSERT_EQ(link().ackedSeq, 1);
        ASSERT_EQ(link().sendSeq, 4);
        ports.clear();
    }
};

// Frames 1 to 3 are out (keys 1, 2, 3) and a server frame has arrived since.
// The acknowledgement names the frame the server expects next: what lies
// before it is acknowledged and the rest is resent at once, in order, with
// the current acknowledgement; a number outside the window changes nothing.
TEST(LinkAcknowledgement, ResendsFromTheNamedFrameOnlyInsideTheWindow) {
    const struct {
        uint8_t ack;
        uint8_t ackedSeq;
        std::vector<uint8_t> resent;
    } cases[] = {{0x40, 4, {}}, {0x10, 1, {1, 2, 3}}, {0x30, 3, {3}},
                 {0x00, 1, {}}, {0x50, 1, {}},        {0x70, 1, {}}};
    for (const auto& c : cases) {
        EngineHarness h;
        h.connectQuiet();
        for (int key = 1; key <= 3; ++key) h.engine.queueKey(static_cast<uint16_t>(key));
        h.deliver(EngineHarness::dataFrame(0, 1));
        h.ports.clear();
        h.deliver({0xFF, 0x03, c.ack});
        EXPECT_EQ(h.link().ackedSeq, c.ackedSeq) << int{c.ack};
        std::vector<Bytes> expected;
        for (uint8_t k : c.resent)
            expected.push_back(
                EngineHarness::terminalData(static_cast<uint8_t>(0x10 | k), {{0x60, 0x03, 0x00, k}}));
        EXPECT_EQ(h.ports.frames, expected) << int{c.ack};
    }
}

TEST_F(LinkWithThreeOutstanding, FramesOfTheWrongLengthOrAnUnknownTypeChangeNothing) {
    const TerminalState before = state();
    for (const Bytes& frame :
         {Bytes{0xFF, 0x03, 0x10, 0x00}, Bytes{0xFF, 0x03}, Bytes{0xFF, 0x10}, Bytes{0xFF, 0x02, 0x00},
          Bytes{0xFF, 0x04, 0x10}, Bytes{0xFF, 0x00, 0x10}, Bytes{0xFF, 0x11, 0x00}})
        deliver(frame);
    EXPECT_TRUE(ports.frames.empty());
    EXPECT_TRUE(state() == before);
}

TEST_F(LinkWithThreeOutstanding, InSequenceFrameWithForeignAckStillRuns) {
    deliver(dataFrame(0, 6, {displayRowElement(2, 'z')}));
    EXPECT_EQ(line(4), std::string(25, 'z'));
    EXPECT_EQ(link().recvSeq, 1);
    EXPECT_EQ(link().ackedSeq, 1);
    deliver(dataFrame(1, 3));  // a piggybacked acknowledgement inside the window is taken
    EXPECT_EQ(link().ackedSeq, 3);
    EXPECT_TRUE(ports.frames.empty());
}

TEST_F(Link, DuplicateFrameIsAnsweredOnceThenHeldOff) {
    connectQuiet();
    const Bytes frame = dataFrame(0, 1, {displayRowElement(0, 'a')});
    deliver(frame);
    const uint32_t version = state().displayVersion;
    EXPECT_TRUE(ports.frames.empty());  // in sequence: acknowledged later

    engine.showText("changed", 0);
    deliver(frame);  // a repeat: acknowledged at once, not interpreted
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x11));
    EXPECT_EQ(trimmedLine(0), "changed");
    EXPECT_EQ(link().ackHoldoff, 3);
    EXPECT_EQ(state().displayVersion, version + 1);

    deliver(frame);  // a third copy within the hold-off: nothing at all
    EXPECT_EQ(ports.frames.size(), 1u);
    tick(2);
    deliver(frame);
    EXPECT_EQ(ports.frames.size(), 1u);
    tick();  // hold-off over
    deliver(frame);
    ASSERT_EQ(ports.frames.size(), 2u);
    EXPECT_EQ(ports.frames[1], terminalAck(0x11));
}

TEST_F(Link, GapIsReportedAtOnceAndItsElementsNeverRun) {
    connectQuiet();
    deliver(dataFrame(1, 1, {displayRowElement(0, 'g'), {0x90, 0x02, 0x00}}));
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x01));
    EXPECT_EQ(line(0), std::string(25, ' '));
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    EXPECT_EQ(link().recvSeq, 0);
    // The missing frame arrives: in sequence ends the hold-off at once.
    deliver(dataFrame(0, 1));
    EXPECT_EQ(link().ackHoldoff, 0);
    deliver(dataFrame(1, 1, {displayRowElement(0, 'g')}));
    EXPECT_EQ(line(0), std::string(25, 'g'));
    EXPECT_EQ(link().recvSeq, 2);
}

TEST_F(Link, StrayFrameTakesItsAcknowledgementWhenInTheWindow) {
    connectQuiet();
    engine.queueKey(1);
    engine.queueKey(2);  // ackedSeq 1, sendSeq 3
    ports.clear();
    deliver(dataFrame(5, 2));
    EXPECT_EQ(link().ackedSeq, 2);
    EXPECT_EQ(ports.frames.back(), terminalAck(0x02));
}

TEST_F(Link, EmptyDataFrameIsAcknowledgedTenTicksLaterUnlessAFrameLeavesFirst) {
    connectQuiet();
    deliver({0xFF, 0x10, 0x10});
    EXPECT_EQ(link().recvSeq, 1);
    tick(9);
    EXPECT_TRUE(ports.frames.empty());
    tick();
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x11));

    deliver({0xFF, 0x10, 0x11});
    tick(5);
    engine.queueKey(0x0035);  // the data frame carries the acknowledgement instead
    ASSERT_EQ(ports.frames.size(), 2u);
    EXPECT_EQ(ports.frames[1], terminalData(0x21, {KEY_5}));
    tick(20);
    EXPECT_EQ(ports.frames.size(), 2u);

    deliver({0xFF, 0x10, 0x22});  // while strays are held off, the acknowledgement waits too
    link().ackHoldoff = 15;
    tick(14);
    EXPECT_EQ(ports.frames.size(), 2u);
    tick();
    EXPECT_EQ(ports.frames.back(), terminalAck(0x32));
}

// A call state report after 100 quiet ticks; any frame sent restarts the
// count. Keepalives alone fill the window of seven after 800 ticks.
TEST_F(Link, KeepaliveIsACallStateReportAfter100QuietTicks) {
    connectQuiet();
    tick(99);
    EXPECT_TRUE(ports.frames.empty());
    tick();
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalData(0x01, {{0x30, 0x00, 0x00}}));
    tick(50);
    engine.queueKey(0x0035);
    tick(99);
    EXPECT_EQ(ports.frames.size(), 2u);
    tick();
    EXPECT_EQ(ports.frames.size(), 3u);
    tick(4 * 100 + 99);  // four more keepalives: seven outstanding
    EXPECT_EQ(link().linkLost, 0);
    tick();
    EXPECT_EQ(link().linkLost, 1);
}

TEST_F(Link, ConnectConfirmResetsSequencesButKeepsAudioAndSync) {
    connect();
    tick();
    deliver(dataFrame(0, 1, {{0x10, 0x03, 0x00, 0x00}, {0x90, 0x02, 0x02}}));
    link().linkLost = 1;
    link().ackHoldoff = 2;
    EXPECT_EQ(link().syncExpected, 1);
    EXPECT_EQ(audio().mute, 1);
    engine.resetLink();
    EXPECT_EQ(link().ackedSeq, 0);
    EXPECT_EQ(link().recvSeq, 0);
    EXPECT_EQ(link().sendSeq, 0);
    EXPECT_EQ(link().reportedSeq, 0);
    EXPECT_EQ(link().linkLost, 0);
    EXPECT_EQ(link().slots[0].count, 2u);
    EXPECT_EQ(link().ackHoldoff, 2);
    EXPECT_EQ(link().syncExpected, 1);
    EXPECT_EQ(audio().mute, 1);
}

TEST_F(Link, FramesQueuedBeforeTheConfirmAreNotResent) {
    start();
    tick();
    engine.queueKey(0x0031);  // Registering: a frame with terminal id 0
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], (Bytes{0xFF, 0x00, 0x00, 0x10, 0x00, 0x60, 0x03, 0x00, 0x31}));
    deliver(registrationReply(0x1234));
    deliver({0xFF, 0x02});
    ports.clear();
    deliver({0xFF, 0x03, 0x00});
    EXPECT_TRUE(ports.frames.empty());
    tick();
    EXPECT_EQ(ports.frames.back(), terminalData(0x00, {ANNOUNCE_ELEMENT}));
}

}  // namespace
}  // namespace vorpel::testing
