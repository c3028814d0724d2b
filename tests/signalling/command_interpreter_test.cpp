#include <gtest/gtest.h>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

// Elements arrive in in-sequence data frames of a connected, quiet link.
class Commands : public ::testing::Test, public EngineHarness {
protected:
    void SetUp() override { connectQuiet(); }
    void send(std::initializer_list<Bytes> elements) {
        deliver(dataFrame(nextServerSeq_, 1, elements));
        nextServerSeq_ = static_cast<uint8_t>((nextServerSeq_ + 1) & 7);
        ASSERT_EQ(link().recvSeq, nextServerSeq_);
    }
    // The elements of the data frames the terminal sent, after header and sequence byte.
    Bytes sentElements() const {
        Bytes all;
        for (const Bytes& frame : ports.frames)
            if (frame.size() > 5 && frame[3] == 0x10) all.insert(all.end(), frame.begin() + 5, frame.end());
        return all;
    }
    uint8_t nextServerSeq_ = 0;
};

// Low four bits of the code are ignored, but only the expected value is
// answered; it wraps after 65536 checks.
TEST_F(Commands, SyncCheckOfTheExpectedValueIsAnsweredWithTheNext) {
    send({{0x10, 0x03, 0x00, 0x00}, {0x10, 0x03, 0x00, 0x00}, {0x1F, 0x03, 0x02, 0x00}});
    link().syncExpected = 0xFFFF;
    send({{0x10, 0x03, 0xFF, 0xFF}});
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x10, 0x03, 0x01, 0x00, 0x10, 0x03, 0x00, 0x00}));
}

// Row 1 is lines 2 and 3; zero bytes are written as they are. A row number
// out of range writes nothing, yet counts as a change; the engine's own
// messages and lines out of range change nothing at all.
TEST_F(Commands, DisplayRowWritesItsTwoLinesAndNothingElse) {
    Bytes row{0x40, 52, 1};
    for (int i = 0; i < 50; ++i) row.push_back(static_cast<uint8_t>(i == 7 ? 0 : 'A' + i % 26));
    send({row});
    EXPECT_TRUE(std::equal(row.begin() + 3, row.end(), state().display.begin() + 50));
    EXPECT_EQ(line(0) + line(4), std::string(50, ' '));
    const TerminalState unchanged = state();
    engine.showMessage(1, DISPLAY_ROWS);
    engine.showText("x", DISPLAY_LINES);
    EXPECT_TRUE(state() == unchanged);
    for (int number : {4, 5, 255}) {
        TerminalState expected = state();
        ++expected.displayVersion;
        const uint16_t audioControl = audio().audioControl, mute = audio().mute;
        Bytes frame{0x10, 0x00};
        const Bytes element = displayRowElement(static_cast<uint8_t>(number), 'x');
        frame.insert(frame.end(), element.begin(), element.end());
        EXPECT_EQ(engine.interpretElement(frame, 2), frame.size());
        EXPECT_TRUE(state() == expected && audio().audioControl == audioControl && audio().mute == mute)
            << number;
    }
}

TEST_F(Commands, MelodyStartsFromIdleOrMelodyOnly) {
    Bytes melody{0x50, 34, 0x77};
    for (uint8_t i = 0; i < 32; ++i) melody.push_back(static_cast<uint8_t>(i + 1));
    send({melody});
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"startMelody", "raisePhoneWindow"}));
    EXPECT_EQ(ports.melodyTempo, 0x77);
    EXPECT_EQ(ports.melodyNotes, Bytes(melody.begin() + 3, melody.end()));
    EXPECT_EQ(audio().audioControl, 2);
    melody[2] = 0x10;  // a new melody restarts
    send({melody});
    EXPECT_EQ(ports.melodyTempo, 0x10);
    tick();
    ports.clear();
    send({{0x90, 0x02, 0x00}});  // voice, from a melody: reported, audio indicator lit
    EXPECT_EQ(state().indicators[26], 3);
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x30, 0x03, 0x00}));
    ports.clear();
    send({melody, {0x90, 0x02, 0x00}});  // ignored during voice; voice again is not even reported
    tick();
    EXPECT_EQ(ports.calls, std::vector<std::string>{});
    EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
    EXPECT_TRUE(sentElements().empty());
}

// Mute is set only by its commands (unknown ones do nothing) and survives release.
TEST_F(Commands, ReleaseRunsInFullEvenWhenIdleAndKeepsMute) {
    send({{0x90, 0x02, 0x02}, {0x90, 0x02, 0x05}, {0x90, 0x02, 0xFF}});
    tick();
    for (uint8_t command : {uint8_t{1}, uint8_t{4}}) {
        ports.clear();
        state().indicators[26] = 3;
        send({{0x90, 0x02, command}});
        EXPECT_EQ(ports.calls, (std::vector<std::string>{"closeVoiceSocket", "resetMedia"}));
        EXPECT_EQ(ports.mediaResets.back(), state().engineTicks);
        EXPECT_EQ(state().indicators[26], 0);
        EXPECT_TRUE(audio().muted());
        tick();
        EXPECT_EQ(sentElements(), (Bytes{0x30, 0x00, 0x00}));
    }
    send({{0x90, 0x02, 0x03}});
    EXPECT_FALSE(audio().muted());
}

// Port low byte first, address as it stands (0: the signalling server's own);
// the ciphers are keyed only with a held pair and a ready session key.
TEST_F(Commands, VoiceChannelOpensTowardsTheGivenAddress) {
    send({{0xA0, 0x08, 0x00, 0x10, 0x27, 0x04, 0x03, 0x02, 0x01}});
    ASSERT_EQ(ports.voiceChannels.size(), 1u);
    EXPECT_EQ(ports.voiceChannels[0].first, 10000);
    EXPECT_EQ(ports.voiceChannels[0].second, 0x01020304u);  // 1.2.3.4
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    send({{0xA0, 0x04, 0x01, 0x34, 0x12}, {0xA0, 0x06, 0x00, 0x34, 0x12, 0, 0}});  // ignored
    state().keys.sessionKeyReady = 0;
    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    state().keys.sessionKeyReady = 1;
    state().keys.keyPairHeld = 0;
    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    EXPECT_EQ(ports.voiceChannels.back().first, 0x1234);
    EXPECT_EQ(ports.voiceChannels.back().second, 0u);
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"openVoiceChannel", "keyTrafficCiphers",
                                                     "openVoiceChannel", "openVoiceChannel"}));
}

TEST_F(Commands, IndicatorListSetsLowBitsAndIgnoresWhatHasNoPlace) {
    send({{0x80, 0x09, 0x01, 0x03, 0x82, 0x06, 0x40, 0x03, 0x3F, 0x01}});
    EXPECT_EQ(state().indicators[1], 3);
    EXPECT_EQ(state().indicators[2], 2);  // number 0x82 -> 2, state 6 -> 2
    EXPECT_EQ(state().indicators[63], 1);
    // An odd list: its last number has no state and is ignored.
    send({{0x80, 0x04, 0x07, 0x02, 0x08}});
    EXPECT_EQ(state().indicators[7], 2);
    EXPECT_EQ(state().indicators[8], 0);
}

// Between two indicator elements: a server value, fillers, a skip block (72
// bytes on, never read) and elements of the wrong size do nothing and
// interpretation goes on; the
// frame-ending codes, an element or skip running past the frame and a code
// byte without its length end the frame.
TEST_F(Commands, ServerValueAndFillerAreSkippedAndFrameEndingCodesStop) {
    Bytes skip{0x30, 35}, shortSkip{0x30, 35};
    skip.resize(72, 0x80);
    shortSkip.resize(40, 0x80);
    const std::pair<Bytes, bool> cases[] = {
        {{0x70, 0x03, 0x12, 0x34}, true},
        {{0xF0, 0x01}, true},
        {{0xF5, 0x05, 1, 2, 3, 4}, true},
        {skip, true},
        {shortSkip, false},
        {{0x00, 0x02, 0x00}, false},
        {{0x60, 0x02, 0x00}, false},
        {{0x6F, 0x02, 0x00}, false},
        {{0xB0, 0x02, 0x00}, false},
        {{0xC0, 0x02, 0x00}, false},
        {{0xD0, 0x02, 0x00}, false},
        {{0xE0, 0x02, 0x00}, false},
        {{0x10, 0x04, 0x00, 0x00, 0x00}, true},
        {{0x20, 0x02, 0xAB}, true},
        {{0x90, 0x03, 0x00, 0x00}, true},
        {{0xA0, 0x06, 0x00, 0x10, 0x27, 0x00, 0x00}, true},
        {{0x50, 0x01}, true},
        {{0x40, 0x02, 0x00}, true},
        {{0x80, 0x01}, true},
        {{0x30, 0x02, 0x00}, true},
    };
    for (const auto& [element, goesOn] : cases) {
        state().indicators.fill(0);
        send({{0x80, 0x03, 0x01, 0x01}, element, {0x80, 0x03, 0x02, 0x01}});
        auto expected = decltype(state().indicators){};
        expected[1] = 1;
        expected[2] = goesOn ? 1 : 0;
        EXPECT_EQ(state().indicators, expected) << int{element[0]} << ' ' << element.size();
    }
    send({{0x80, 0x03, 0x01, 0x03}, {0x80, 0x04, 0x03, 0x02}});  // declares 5 bytes, has 4
    send({{0x20}});                                              // a code byte without its length
    EXPECT_EQ(state().indicators[1], 3);
    EXPECT_EQ(state().indicators[3], 0);
    tick();
    EXPECT_TRUE(sentElements().empty());
    EXPECT_TRUE(ports.calls.empty());
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
}

}  // namespace
}  // namespace vorpel::testing
