#include <gtest/gtest.h>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

class Link : public ::testing::Test, public EngineHarness {};

const Bytes KEY_5{0x60, 0x03, 0x00, 0x35};

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

// Frames 1 to 3 are out (keys 1, 2, 3) and a server frame has arrived since.
// The acknowledgement names the frame the server expects next: what lies
// before it is acknowledged and the rest is resent at once, in order, with
// the current acknowledgement; a number outside the window changes nothing,
// and frames of the wrong length or an unknown type change nothing either.
TEST(LinkAcknowledgement, ResendsFromTheNamedFrameOnlyInsideTheWindow) {
    const struct {
        Bytes frame;
        uint8_t ackedSeq;
        std::vector<uint8_t> resent;
    } cases[] = {{{0xFF, 0x03, 0x40}, 4, {}},  {{0xFF, 0x03, 0x10}, 1, {1, 2, 3}},
                 {{0xFF, 0x03, 0x30}, 3, {3}}, {{0xFF, 0x03, 0xBF}, 3, {3}},
                 {{0xFF, 0x03, 0x00}, 1, {}},  {{0xFF, 0x03, 0x50}, 1, {}},
                 {{0xFF, 0x03, 0x70}, 1, {}},  {{0xFF, 0x03, 0x30, 0x00}, 1, {}},
                 {{0xFF, 0x04, 0x30}, 1, {}},  {{0xFF, 0x11, 0x00}, 1, {}}};
    for (const auto& c : cases) {
        EngineHarness h;
        h.connectQuiet();
        for (int key = 1; key <= 3; ++key) h.engine.queueKey(static_cast<uint16_t>(key));
        h.deliver(EngineHarness::dataFrame(0, 1));
        h.ports.clear();
        h.deliver(c.frame);
        EXPECT_EQ(h.link().ackedSeq, c.ackedSeq) << int{c.frame[2]};
        std::vector<Bytes> expected;
        for (uint8_t k : c.resent)
            expected.push_back(
                EngineHarness::terminalData(static_cast<uint8_t>(0x10 | k), {{0x60, 0x03, 0x00, k}}));
        EXPECT_EQ(h.ports.frames, expected) << int{c.frame[2]};
    }
}

TEST_F(Link, DuplicateFrameIsAnsweredOnceThenHeldOff) {
    connectQuiet();
    const Bytes frame = dataFrame(0, 1, {displayRowElement(0, 'a')});
    deliver(frame);
    EXPECT_TRUE(ports.frames.empty());  // in sequence: acknowledged later
    engine.showText("changed", 0);
    deliver(frame);  // a repeat: acknowledged at once, not interpreted
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x11));
    EXPECT_EQ(trimmedLine(0), "changed");
    tick(2);
    deliver(frame);  // within the hold-off: nothing at all
    EXPECT_EQ(ports.frames.size(), 1u);
    tick();  // hold-off over
    deliver(frame);
    EXPECT_EQ(ports.frames.size(), 2u);
}

TEST_F(Link, GapIsReportedAtOnceAndItsElementsNeverRun) {
    connectQuiet();
    deliver(dataFrame(1, 1, {displayRowElement(0, 'g'), {0x90, 0x02, 0x00}}));
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x01));
    EXPECT_EQ(line(0), std::string(25, ' '));
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    deliver(dataFrame(0, 1));  // the missing frame
    deliver(dataFrame(1, 1, {displayRowElement(0, 'g')}));
    EXPECT_EQ(line(0), std::string(25, 'g'));
}

TEST_F(Link, EmptyDataFrameIsAcknowledgedTenTicksLaterUnlessAFrameLeavesFirst) {
    connectQuiet();
    deliver({0xFF, 0x10, 0x10});
    tick(9);
    EXPECT_TRUE(ports.frames.empty());
    tick();
    ASSERT_EQ(ports.frames.size(), 1u);
    EXPECT_EQ(ports.frames[0], terminalAck(0x11));

    deliver({0xFF, 0x10, 0x11});
    tick(5);
    engine.queueKey(0x0035);  // the data frame carries the acknowledgement instead
    tick(20);
    EXPECT_EQ(ports.frames, (std::vector<Bytes>{terminalAck(0x11), terminalData(0x21, {KEY_5})}));
}

// A call state report after 100 quiet ticks; any frame sent restarts the
// count. Keepalives alone fill the window of seven after 800 ticks, and the
// eighth frame is not sent: the link is lost.
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
    EXPECT_EQ(ports.frames.size(), 7u);
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
    tick();
    EXPECT_EQ(ports.frames.back(), terminalData(0x00, {ANNOUNCE_ELEMENT}));
}

}  // namespace
}  // namespace vorpel::testing
