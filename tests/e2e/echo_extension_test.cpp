// The echo extension: a terminal alone hears its own voice back through the
// server's relay, decrypted with its key and encrypted again.
#include <gtest/gtest.h>

#include "call_fixture.h"
#include "speech_signal.h"

namespace vorpel::e2e {
namespace {

using namespace std::chrono_literals;

constexpr double SPEECH_SECONDS = 5.0;
constexpr double MIN_SEGMENTAL_SNR_DB = 10.0;  // see the two-terminal call

class EchoExtension : public CallFixture {};

TEST_F(EchoExtension, ReturnsTheCallersOwnSpeech) {
    const auto& account = server_.accounts()[0];
    const auto speech = speechLikeSignal(SPEECH_SECONDS, 3);
    TerminalFixture& a = addTerminal(account, speech);
    ASSERT_TRUE(startAndRegister(a, account));

    mark(a);
    dial(a, CallServerProcess::ECHO_EXTENSION);
    ASSERT_TRUE(waitForAudio(a, "voice"));
    const size_t voiceAt = playedSamples(a);
    const auto shown = waitForDisplay(a, [](const ShownLines& l) { return l[1] == "Echo test"; });
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)[2], "Speak to hear yourself");
    EXPECT_TRUE(waitForPlayback(a, voiceAt, static_cast<size_t>(SPEECH_SECONDS + 2) * SAMPLE_RATE, 30s));

    mark(a);
    a.console().writeLine("press No");
    EXPECT_TRUE(waitForAudio(a, "idle"));
    EXPECT_TRUE(
        waitForDisplay(a, [&](const ShownLines& l) { return l[0] == "Extension " + account.extension; }));
    EXPECT_TRUE(quit(a));

    expectSpeech("echo", speech, a, voiceAt, MIN_SEGMENTAL_SNR_DB);
}

}  // namespace
}  // namespace vorpel::e2e
