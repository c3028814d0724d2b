#include <gtest/gtest.h>

#include <functional>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

class Reports : public ::testing::Test, public EngineHarness {
protected:
    void SetUp() override { connectQuiet(); }
};

const Bytes REPORT_IDLE{0x30, 0x00, 0x00};

Bytes echo(uint8_t n) { return {0x20, 0x03, n, n}; }

// The hook key answers a melody and ends voice; it keeps the other bits of
// the audio word. Twice in one tick starts and ends voice, both reported.
TEST_F(Reports, HookKeyStartsAndEndsVoice) {
    audio().setAudioMode(AudioMode::Melody);
    audio().audioControl |= 0x0100;  // never set by the terminal itself
    engine.hookKey();
    EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
    EXPECT_EQ(state().indicators[26], 3);
    EXPECT_TRUE(ports.calls.empty());
    tick();
    EXPECT_EQ(ports.frames.back(), terminalData(0x01, {{0x30, 0x03, 0x01}}));
    ports.clear();
    engine.hookKey();
    engine.hookKey();
    EXPECT_EQ(audio().audioControl, 0x0103);
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"closeVoiceSocket", "resetMedia"}));
    tick();
    EXPECT_EQ(ports.frames, std::vector<Bytes>{terminalData(0x02, {{0x30, 0x00, 0x01}, {0x30, 0x03, 0x01}})});
}

// A slot holds 14 bytes of elements after the 2 of its header: replies and
// reports wait for the tick unless they fill the slot; a key leaves at once
// and takes what waits along; what does not fit goes out first.
TEST(ReportSlots, ElementsWaitUntilTheSlotFillsOrAKeyLeaves) {
    const auto replies = [](EngineHarness& h, uint8_t seq, std::initializer_list<uint8_t> ns) {
        Bytes frame = EngineHarness::dataFrame(seq, 1);
        for (uint8_t n : ns) frame.insert(frame.end(), {0x20, 0x03, n, n});
        h.deliver(frame);
    };
    const struct {
        const char* scenario;
        std::function<void(EngineHarness&)> act;
        std::vector<Bytes> sentAtOnce, sentAtTick;
    } cases[] = {
        {"key, high byte first",
         [](EngineHarness& h) { h.engine.queueKey(0xE123); },
         {EngineHarness::terminalData(0x01, {{0x60, 0x03, 0xE1, 0x23}})},
         {}},
        {"key takes the waiting report",
         [](EngineHarness& h) {
             h.engine.releaseAudio();
             h.engine.queueKey(0x35);
         },
         {EngineHarness::terminalData(0x01, {REPORT_IDLE, {0x60, 0x03, 0x00, 0x35}})},
         {}},
        {"fourth reply starts a new frame",
         [&](EngineHarness& h) {
             replies(h, 0, {1, 2, 3, 4});
         },
         {EngineHarness::terminalData(0x01, {echo(1), echo(2), echo(3)})},
         {EngineHarness::terminalData(0x12, {echo(4)})}},
        {"report fills the slot",
         [&](EngineHarness& h) {
             replies(h, 0, {1});
             h.engine.queueCallStateReport();
             replies(h, 1, {2});
         },
         {EngineHarness::terminalData(0x11, {echo(1), REPORT_IDLE, echo(2)})},
         {}},
    };
    for (const auto& c : cases) {
        EngineHarness h;
        h.connectQuiet();
        c.act(h);
        EXPECT_EQ(h.ports.frames, c.sentAtOnce) << c.scenario;
        h.ports.clear();
        h.tick();
        EXPECT_EQ(h.ports.frames, c.sentAtTick) << c.scenario;
    }
}

}  // namespace
}  // namespace vorpel::testing
