// Two vorpel-console terminals call each other through a real
// vorpel-callserver: ringing, answering, speech from each terminal's
// microphone file arriving in the other's playback file (through both
// terminals' own cryptography and the server's independent one), and hanging up.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "call_fixture.h"
#include "speech_signal.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double SPEECH_SECONDS = 6.0;
// The decoded speech matches our own round trip sample for sample (50 dB, the
// ceiling) when the coders' start points are found and nothing is late; a
// packet late on a loaded machine leaves the coders in other states and the
// rest near 15 dB. A wrong key, byte order, frame order or gain falls to 0 dB
// and below.
constexpr double MIN_SEGMENTAL_SNR_DB = 10.0;

class TwoTerminalCall : public CallFixture {};

TEST_F(TwoTerminalCall, RingAnswerSpeakAndHangUp) {
    const auto& accounts = server_.accounts();
    const auto speech = speechLikeSignal(SPEECH_SECONDS, 1);
    const auto reply = speechLikeSignal(SPEECH_SECONDS, 2);
    TerminalFixture& a = addTerminal(accounts[0], speech);
    TerminalFixture& b = addTerminal(accounts[1], reply);
    ASSERT_TRUE(startAndRegister(a, accounts[0]));
    ASSERT_TRUE(startAndRegister(b, accounts[1]));
    const auto started = Clock::now();

    markAll();
    dial(a, "202");
    EXPECT_TRUE(
        waitForDisplay(a, [](const ShownLines& l) { return l[1] == "Calling 202" && l[2] == "Ringing"; }));
    const auto ringing = waitForDisplay(b, [](const ShownLines& l) { return l[1] == "Call from 201"; });
    ASSERT_TRUE(ringing);
    EXPECT_EQ((*ringing)[0], "Extension 202");
    EXPECT_EQ((*ringing)[2], "Hook key to answer");
    EXPECT_TRUE(waitForAudio(b, "melody"));
    EXPECT_TRUE(waitForAudio(a, "melody"));  // ringback

    markAll();
    b.console().writeLine("press Yes");  // the hook key answers
    ASSERT_TRUE(waitForAudio(b, "voice"));
    ASSERT_TRUE(waitForAudio(a, "voice"));
    const size_t aVoiceAt = playedSamples(a);
    const size_t bVoiceAt = playedSamples(b);
    EXPECT_TRUE(waitForDisplay(a, [](const ShownLines& l) { return l[1] == "Connected 202"; }));
    EXPECT_TRUE(waitForDisplay(b, [](const ShownLines& l) { return l[1] == "Connected 201"; }));
    // Talk for as long as the recordings last, and two seconds more for the delays.
    const size_t talk = static_cast<size_t>(SPEECH_SECONDS + 2) * SAMPLE_RATE;
    EXPECT_TRUE(waitForPlayback(b, bVoiceAt, talk, 30s));
    EXPECT_TRUE(waitForPlayback(a, aVoiceAt, talk, 30s));

    markAll();
    a.console().writeLine("press No");  // the caller hangs up
    EXPECT_TRUE(waitForAudio(a, "idle"));
    EXPECT_TRUE(waitForAudio(b, "idle"));
    EXPECT_TRUE(waitForDisplay(
        b, [](const ShownLines& l) { return l[0] == "Extension 202" && l[2] == "Call ended"; }));
    EXPECT_TRUE(waitForDisplay(
        a, [](const ShownLines& l) { return l[0] == "Extension 201" && l[2] == "Call ended"; }));
    EXPECT_TRUE(quit(a));
    EXPECT_TRUE(quit(b));
    // The server ends in order on a termination request.
    EXPECT_EQ(server_.stop(), std::optional<int>(0));
    std::printf("[ duration ] from dialling to both terminals ended: %.1f s\n",
                std::chrono::duration<double>(Clock::now() - started).count());

    expectSpeech("a_to_b", speech, b, bVoiceAt, MIN_SEGMENTAL_SNR_DB);
    expectSpeech("b_to_a", reply, a, aVoiceAt, MIN_SEGMENTAL_SNR_DB);
}

}  // namespace
}  // namespace vorpel::e2e
