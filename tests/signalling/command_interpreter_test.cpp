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

TEST_F(Commands, SyncCheckOfTheExpectedValueIsAnsweredWithTheNext) {
    send({{0x10, 0x03, 0x00, 0x00}});
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x10, 0x03, 0x01, 0x00}));
    ports.clear();
    send({{0x10, 0x03, 0x00, 0x00}});  // not the expected value any more
    send({{0x1F, 0x03, 0x02, 0x00}});  // low four bits of the code are ignored, but 2 is not expected
    tick();
    EXPECT_TRUE(sentElements().empty());
    EXPECT_EQ(link().syncExpected, 1);
    // The expected value wraps after 65536 checks.
    link().syncExpected = 0xFFFF;
    send({{0x10, 0x03, 0xFF, 0xFF}});
    EXPECT_EQ(link().syncExpected, 0);
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x10, 0x03, 0x00, 0x00}));
}

TEST_F(Commands, ElementsOfTheWrongSizeHaveNoEffectButTheNextOneRuns) {
    send({{0x10, 0x04, 0x00, 0x00, 0x00},              // sync check of size 5
          {0x20, 0x02, 0xAB},                          // echo of size 3
          {0x90, 0x03, 0x00, 0x00},                    // audio control of size 4
          {0xA0, 0x06, 0x00, 0x10, 0x27, 0x00, 0x00},  // voice channel of size 7
          {0x50, 0x01},                                // melody of size 2
          {0x40, 0x02, 0x00},                          // display row of size 3
          {0x80, 0x01},                                // indicator list of size 2
          {0x30, 0x02, 0x00},                          // skip block of size 3: no skip
          {0x20, 0x03, 0x01, 0x02}});
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x20, 0x03, 0x01, 0x02}));
    EXPECT_EQ(link().syncExpected, 0);
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    EXPECT_TRUE(ports.voiceChannels.empty());
    EXPECT_TRUE(ports.melodyNotes.empty());
}

// Row 1 is lines 2 and 3; zero bytes are written as they are. A row number
// out of range writes nothing anywhere in the engine, yet counts as a change;
// the engine's own messages and lines out of range change nothing at all.
TEST_F(Commands, DisplayRowWritesItsTwoLinesAndNothingElse) {
    const uint32_t version = state().displayVersion;
    Bytes row{0x40, 52, 1};
    for (int i = 0; i < 50; ++i) row.push_back(static_cast<uint8_t>(i == 7 ? 0 : 'A' + i % 26));
    send({row, {0x80, 0x03, 0x05, 0x02}});
    EXPECT_EQ(state().displayVersion, version + 1);
    EXPECT_TRUE(std::equal(row.begin() + 3, row.end(), state().display.begin() + 50));
    EXPECT_EQ(state().indicators[5], 2);
    EXPECT_EQ(line(0) + line(4), std::string(50, ' '));
    const TerminalState unchanged = state();
    engine.showMessage(1, DISPLAY_ROWS);
    engine.showText("x", DISPLAY_LINES);
    EXPECT_TRUE(state() == unchanged);
    for (int number : {4, 5, 128, 255}) {
        TerminalState expected = state();
        ++expected.displayVersion;
        const uint16_t audioControl = audio().audioControl, mute = audio().mute;
        Bytes frame{0x10, 0x00};
        const Bytes element = displayRowElement(static_cast<uint8_t>(number), 'x');
        frame.insert(frame.end(), element.begin(), element.end());
        EXPECT_EQ(engine.interpretElement(frame, 2), frame.size());
        EXPECT_TRUE(state() == expected) << number;
        EXPECT_EQ(audio().audioControl, audioControl);
        EXPECT_EQ(audio().mute, mute);
    }
}

TEST_F(Commands, MelodyStartsFromIdleOrMelodyOnly) {
    Bytes melody{0x50, 34, 0x77};
    for (uint8_t i = 0; i < 32; ++i) melody.push_back(static_cast<uint8_t>(i + 1));
    send({melody});
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"startMelody", "raisePhoneWindow"}));
    EXPECT_EQ(ports.melodyTempo, 0x77);
    EXPECT_EQ(ports.melodyNotes.size(), 32u);
    EXPECT_EQ(ports.melodyNotes.back(), 32);
    EXPECT_EQ(engine.audioMode(), AudioMode::Melody);
    EXPECT_EQ(audio().audioControl, 2);

    melody[2] = 0x10;  // a new melody restarts
    send({melody});
    EXPECT_EQ(ports.melodyTempo, 0x10);
    EXPECT_EQ(ports.count("raisePhoneWindow"), 2u);

    send({{0x90, 0x02, 0x00}});
    ports.clear();
    send({melody});  // ignored during voice
    EXPECT_TRUE(ports.calls.empty());
    EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
}

TEST_F(Commands, StartVoiceFromMelodyReportsAndLightsTheAudioIndicator) {
    audio().setAudioMode(AudioMode::Melody);
    send({{0x90, 0x02, 0x00}});
    EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
    EXPECT_EQ(state().indicators[26], 3);
    tick();
    EXPECT_EQ(sentElements(), (Bytes{0x30, 0x03, 0x00}));
    ports.clear();
    send({{0x90, 0x02, 0x00}});  // already in voice: not even a report
    tick();
    EXPECT_TRUE(sentElements().empty());
}

TEST_F(Commands, ReleaseRunsInFullEvenWhenIdle) {
    for (uint8_t command : {uint8_t{1}, uint8_t{4}}) {
        ports.clear();
        state().indicators[26] = 3;
        send({{0x90, 0x02, command}});
        EXPECT_EQ(ports.calls, (std::vector<std::string>{"closeVoiceSocket", "resetMedia"}));
        EXPECT_EQ(ports.mediaResets.back(), state().engineTicks);
        EXPECT_EQ(state().indicators[26], 0);
        tick();
        EXPECT_EQ(sentElements(), (Bytes{0x30, 0x00, 0x00}));
    }
}

TEST_F(Commands, MuteIsSetOnlyByItsCommandsAndSurvivesRelease) {
    send({{0x90, 0x02, 0x02}});
    EXPECT_TRUE(audio().muted());
    send({{0x90, 0x02, 0x01}});
    EXPECT_TRUE(audio().muted());
    send({{0x90, 0x02, 0x05}, {0x90, 0x02, 0xFF}});  // unknown commands
    EXPECT_TRUE(audio().muted());
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
    send({{0x90, 0x02, 0x03}});
    EXPECT_FALSE(audio().muted());
}

TEST_F(Commands, VoiceChannelOpensTowardsTheGivenAddress) {
    send({{0xA0, 0x08, 0x00, 0x10, 0x27, 0x04, 0x03, 0x02, 0x01}});
    ASSERT_EQ(ports.voiceChannels.size(), 1u);
    EXPECT_EQ(ports.voiceChannels[0].port, 10000);
    EXPECT_EQ(ports.voiceChannels[0].address, 0x01020304u);  // 1.2.3.4
    EXPECT_EQ(ports.count("keyTrafficCiphers"), 1u);         // key pair held and session key ready
    EXPECT_EQ(engine.audioMode(), AudioMode::Idle);

    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    ASSERT_EQ(ports.voiceChannels.size(), 2u);
    EXPECT_EQ(ports.voiceChannels[1].port, 0x1234);
    EXPECT_EQ(ports.voiceChannels[1].address, 0u);  // the signalling server's own

    send({{0xA0, 0x04, 0x01, 0x34, 0x12}, {0xA0, 0x06, 0x00, 0x34, 0x12, 0, 0}});
    EXPECT_EQ(ports.voiceChannels.size(), 2u);
}

TEST_F(Commands, VoiceChannelKeysTheCiphersOnlyWithASessionKey) {
    state().keys.sessionKeyReady = 0;
    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    state().keys.sessionKeyReady = 1;
    state().keys.keyPairHeld = 0;
    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    EXPECT_EQ(ports.voiceChannels.size(), 2u);
    EXPECT_EQ(ports.count("keyTrafficCiphers"), 0u);
    state().keys.keyPairHeld = 1;
    send({{0xA0, 0x04, 0x00, 0x34, 0x12}});
    EXPECT_EQ(ports.calls, (std::vector<std::string>{"openVoiceChannel", "openVoiceChannel",
                                                     "openVoiceChannel", "keyTrafficCiphers"}));
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

// Between two indicator elements: a server value and fillers do nothing and
// interpretation goes on; the frame-ending codes stop it.
TEST_F(Commands, ServerValueAndFillerAreSkippedAndFrameEndingCodesStop) {
    const std::pair<Bytes, bool> cases[] = {
        {{0x70, 0x03, 0x12, 0x34}, true}, {{0xF0, 0x01}, true},        {{0xF5, 0x05, 1, 2, 3, 4}, true},
        {{0x00, 0x02, 0x00}, false},      {{0x60, 0x02, 0x00}, false}, {{0x6F, 0x02, 0x00}, false},
        {{0xB0, 0x02, 0x00}, false},      {{0xC0, 0x02, 0x00}, false}, {{0xD0, 0x02, 0x00}, false},
        {{0xE0, 0x02, 0x00}, false},
    };
    for (const auto& [element, goesOn] : cases) {
        state().indicators.fill(0);
        send({{0x80, 0x03, 0x01, 0x01}, element, {0x80, 0x03, 0x02, 0x01}});
        auto expected = decltype(state().indicators){};
        expected[1] = 1;
        expected[2] = goesOn ? 1 : 0;
        EXPECT_EQ(state().indicators, expected) << int{element[0]};
    }
}

TEST_F(Commands, SkipBlockResumes72BytesLater) {
    Bytes skip{0x30, 35};
    skip.resize(36 + 36, 0x80);  // what lies in the skipped bytes is never read
    send({skip, {0x80, 0x03, 0x04, 0x03}});
    EXPECT_EQ(state().indicators[4], 3);
    EXPECT_EQ(state().indicators[0], 0);
    // A skip that reaches past the frame ends it; the frame still counts.
    Bytes shortSkip{0x30, 35};
    shortSkip.resize(40, 0x80);
    send({shortSkip});
    EXPECT_EQ(engine.interpretElement(Bytes{0x10, 0x00, 0x30, 35}, 2), SignallingEngine::FRAME_END);
}

TEST_F(Commands, ElementRunningPastTheFrameIsIgnoredAndEndsIt) {
    send({{0x80, 0x03, 0x01, 0x02}, {0x80, 0x04, 0x03, 0x02}});  // declares 5 bytes, has 4
    EXPECT_EQ(state().indicators[1], 2);
    EXPECT_EQ(state().indicators[3], 0);
    send({{0x80, 0x03, 0x01, 0x03}, {0x20}});  // a code byte without its length
    EXPECT_EQ(state().indicators[1], 3);
    tick();
    EXPECT_TRUE(sentElements().empty());
    const Bytes frame{0x10, 0x00, 0x40, 52, 0x00, 'x'};
    EXPECT_EQ(engine.interpretElement(frame, 2), SignallingEngine::FRAME_END);
    EXPECT_EQ(engine.interpretElement(frame, 5), SignallingEngine::FRAME_END);
    EXPECT_EQ(engine.interpretElement(frame, 6), SignallingEngine::FRAME_END);
    EXPECT_EQ(state().display[0], ' ');
}

TEST_F(Commands, PositionAdvancesBySizeWhateverFollows) {
    const Bytes frame{0x10, 0x00, 0xF0, 0x02, 0xAA, 0xBB, 0x70, 0x00, 0x99};
    EXPECT_EQ(engine.interpretElement(frame, 2), 5u);
    EXPECT_EQ(engine.interpretElement(frame, 6), 7u);  // a length byte of 0: one byte in all
}

}  // namespace
}  // namespace vorpel::testing
