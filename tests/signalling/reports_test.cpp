#include <gtest/gtest.h>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

class Reports : public ::testing::Test, public EngineHarness {
protected:
    void SetUp() override { connectQuiet(); }
};

const Bytes REPORT_IDLE{0x30, 0x00, 0x00};
const Bytes REPORT_VOICE{0x30, 0x03, 0x00};

Bytes echo(uint8_t n) { return {0x20, 0x03, n, n}; }

TEST_F(Reports, KeyPressLeavesAtOnceHighByteFirst) {
    engine.queueKey(0xE123);
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], (Bytes{0xFF, 0x34, 0x12, 0x10, 0x01, 0x60, 0x03, 0xE1, 0x23}));
    EXPECT_EQ(link().sendSeq, 2);
}

TEST_F(Reports, KeyPressTakesTheWaitingReportAlong) {
    engine.releaseAudio();
    EXPECT_TRUE(ports.sent.empty());  // the report waits for the tick
    engine.queueKey(0x0035);
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], terminalData(0x01, {REPORT_IDLE, {0x60, 0x03, 0x00, 0x35}}));
    EXPECT_EQ(ports.sent[0].size(), 12u);
}

TEST_F(Reports, HookKeyAnswersAMelody) {
    audio().setAudioMode(AudioMode::Melody);
    engine.hookKey();
    EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
    EXPECT_EQ(state().indicators[26], 3);
    EXPECT_EQ(ports.count("closeVoiceSocket"), 0u);
    tick();
    EXPECT_EQ(ports.sent.back(), terminalData(0x01, {REPORT_VOICE}));
}

TEST_F(Reports, HookKeyTwiceInOneTickStartsAndEndsVoice) {
    engine.hookKey();
    engine.hookKey();
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    EXPECT_EQ(state().indicators[26], 0);
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"closeVoiceSocket", "resetMedia"}));
    EXPECT_TRUE(ports.sent.empty());
    tick();
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], terminalData(0x01, {REPORT_VOICE, REPORT_IDLE}));
}

TEST_F(Reports, HookKeyKeepsTheOtherBitsOfTheAudioWord) {
    audio().audioControl = 0x0100;  // never set by the terminal itself
    engine.hookKey();
    EXPECT_EQ(audio().audioControl, 0x0103);
    tick();
    EXPECT_EQ(ports.sent.back(), terminalData(0x01, {{0x30, 0x03, 0x01}}));
    engine.hookKey();
    EXPECT_EQ(audio().audioControl, 0x0100);
}

TEST_F(Reports, FourthReplyOfATickStartsANewFrame) {
    deliver(
        dataFrame(0, 1, {{0x20, 0x03, 1, 1}, {0x20, 0x03, 2, 2}, {0x20, 0x03, 3, 3}, {0x20, 0x03, 4, 4}}));
    // The third reply brought the slot to 14 bytes and left at once.
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], terminalData(0x01, {echo(1), echo(2), echo(3)}));
    EXPECT_EQ(ports.sent[0].size(), 17u);
    tick();
    ASSERT_EQ(ports.sent.size(), 2u);
    EXPECT_EQ(ports.sent[1], terminalData(0x12, {echo(4)}));
}

TEST_F(Reports, ReportFlushesOnlyWhenItFillsTheSlot) {
    deliver(dataFrame(0, 1, {{0x20, 0x03, 1, 1}}));
    engine.queueCallStateReport();  // 6 + 3 bytes: waits
    EXPECT_TRUE(ports.sent.empty());
    deliver(dataFrame(1, 1, {{0x20, 0x03, 2, 2}}));  // 13 bytes: leaves at once
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0],
              terminalData(0x11, {echo(1), REPORT_IDLE, echo(2)}));  // sent before recvSeq moves on

    deliver(dataFrame(2, 1, {{0x20, 0x03, 3, 3}, {0x20, 0x03, 4, 4}}));  // 10 bytes: wait
    EXPECT_EQ(ports.sent.size(), 1u);
    engine.queueCallStateReport();  // 13 bytes: leaves at once
    ASSERT_EQ(ports.sent.size(), 2u);
    EXPECT_EQ(ports.sent[1], terminalData(0x32, {echo(3), echo(4), REPORT_IDLE}));
}

TEST_F(Reports, KeyFillsTheSlotUpToFourteenBytes) {
    deliver(dataFrame(0, 1, {{0x20, 0x03, 1, 1}, {0x20, 0x03, 2, 2}}));
    engine.queueKey(0x0102);
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], terminalData(0x11, {echo(1), echo(2), {0x60, 0x03, 0x01, 0x02}}));
}

TEST_F(Reports, AppendFlushesAFullSlotFirst) {
    engine.appendElement(echo(1));
    engine.appendElement(echo(2));
    engine.appendElement(echo(3));  // 10 bytes before: appended to 14
    EXPECT_TRUE(ports.sent.empty());
    engine.appendElement(echo(4));  // 14 bytes before: flushed first
    ASSERT_EQ(ports.sent.size(), 1u);
    EXPECT_EQ(ports.sent[0], terminalData(0x01, {echo(1), echo(2), echo(3)}));
    EXPECT_EQ(link().slots[link().sendSeq].count, 6u);
    // An element that could never fit a frame is refused rather than overrun the slot.
    engine.appendElement(Bytes(15, 0xEE));
    EXPECT_EQ(link().slots[link().sendSeq].count, 6u);
}

}  // namespace
}  // namespace vorpel::testing
