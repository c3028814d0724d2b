// Whole calls through a real vorpel-callserver between vorpel-console
// processes with file audio: what each user sees and hears on the way, and
// each microphone's signal found in the other end's speaker file (through
// the terminals' own cryptography and the server's independent one).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <sstream>
#include <thread>

#include "audio_signal.h"
#include "call_fixture.h"

namespace vorpel::e2e {
namespace {

constexpr size_t RATE = 8000;
constexpr size_t TALK = 10 * RATE;  // the microphone files' length

class CallTest : public CallFixture {
protected:
    CallTest() : CallFixture(/*trace=*/true) {}
    // A registered terminal whose microphone hears toneSteps(seed).
    TerminalFixture& registered(size_t account, uint32_t seed) {
        const CallAccount& a = server_.accounts()[account];
        auto& t = *terminals_.emplace_back(std::make_unique<TerminalFixture>(server_.address()));
        EXPECT_TRUE(writeSamples(t.captureFile(), toneSteps(TALK, 8000, seed)));
        EXPECT_TRUE(t.provision({a.account, a.auth, a.password}));
        t.start();
        EXPECT_TRUE(shows(t, 0, "Extension " + a.extension));
        return t;
    }
    // Each event here comes once in a test: the waits look at every line.
    bool shows(TerminalFixture& t, size_t line, const std::string& text) {
        return waitForDisplay(t, [&](const ShownLines& l) { return l[line] == text; }).has_value();
    }
    bool hears(TerminalFixture& t, const std::string& mode) {
        return waitForLine(t, [&](const std::string& l) { return l == "audio " + mode; }).has_value();
    }
    // Waits until t has played `seconds` since now.
    static void listen(TerminalFixture& t, size_t seconds) {
        const auto played = [&] {
            std::error_code missing;
            return std::filesystem::file_size(t.playbackFile(), missing) / 2;
        };
        const auto enough = played() + seconds * RATE;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (played() < enough && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(50ms);
    }
    // The talker's microphone signal turns up in what the listener played,
    // at the terminal's transmit level (an eighth). A few stretches are
    // tried: a packet late on a loaded machine spoils one.
    static void expectHeard(uint32_t talkerSeed, const TerminalFixture& listener) {
        const auto said = toneSteps(TALK, 8000, talkerSeed);
        const auto played = readSamples(listener.playbackFile());
        Match best;
        for (size_t at = 4 * RATE; at < 7 * RATE; at += RATE) {
            const Match m = bestMatch({said.begin() + at, said.begin() + at + RATE / 2}, played);
            if (m.correlation > best.correlation) best = m;
        }
        EXPECT_GT(best.correlation, 0.9);
        EXPECT_NEAR(best.level, 0.125, 0.05);
    }
};

TEST_F(CallTest, TwoTerminalsRingAnswerTalkAndHangUp) {
    TerminalFixture& a = registered(0, 1);
    TerminalFixture& b = registered(1, 2);
    a.console().writeLine("key 2");
    EXPECT_TRUE(shows(a, 2, "Dial 2"));
    a.console().writeLine("key 0");
    a.console().writeLine("key 2");
    EXPECT_TRUE(shows(a, 1, "Calling 202"));
    EXPECT_TRUE(shows(b, 1, "Call from 201"));
    EXPECT_TRUE(hears(b, "melody"));
    EXPECT_TRUE(hears(a, "melody"));  // ringback
    b.console().writeLine("press Yes");
    ASSERT_TRUE(hears(a, "voice"));
    ASSERT_TRUE(hears(b, "voice"));
    EXPECT_TRUE(shows(a, 1, "Connected 202"));
    EXPECT_TRUE(shows(b, 1, "Connected 201"));
    listen(b, 8);
    listen(a, 1);
    a.console().writeLine("press No");
    EXPECT_TRUE(hears(a, "idle"));
    EXPECT_TRUE(hears(b, "idle"));
    EXPECT_TRUE(shows(b, 2, "Call ended"));
    // Each terminal counts the call's packets and says so when its sound stops.
    for (auto* t : {&a, &b}) {
        const auto stats = waitForLine(*t, [](const std::string& l) { return l.starts_with("stats sent="); });
        ASSERT_TRUE(stats);
        EXPECT_EQ(stats->find("sent=0 "), std::string::npos) << *stats;
        EXPECT_EQ(stats->find(" received=0 "), std::string::npos) << *stats;
    }
    EXPECT_TRUE(quit(a));
    EXPECT_TRUE(quit(b));
    EXPECT_EQ(server_.stop(), 0);  // in order, on a termination request
    expectHeard(1, b);
    expectHeard(2, a);
}

TEST_F(CallTest, EchoExtensionReturnsTheCallersVoice) {
    TerminalFixture& a = registered(0, 3);
    a.console().writeLine(std::string("key ") + CallServerProcess::ECHO_EXTENSION);
    EXPECT_TRUE(shows(a, 1, "Echo test"));
    ASSERT_TRUE(hears(a, "voice"));
    listen(a, 8);
    a.console().writeLine("press No");
    EXPECT_TRUE(hears(a, "idle"));
    const auto stats = waitForLine(a, [](const std::string& l) { return l.starts_with("stats sent="); });
    EXPECT_TRUE(quit(a));
    EXPECT_EQ(server_.stop(), 0);
    expectHeard(3, a);
    // The call's counts agree with the server's trace of it: every packet
    // counted as sent arrived, every one sent back was received but perhaps
    // the last (on its way as the call ended), and each one decrypted.
    ASSERT_TRUE(stats);
    unsigned sent = 0, received = 0, failures = 0;
    ASSERT_EQ(std::sscanf(stats->c_str(), "stats sent=%u received=%u %*s %*s %*s %*s %*s decrypt_failures=%u",
                          &sent, &received, &failures),
              3);
    std::istringstream trace(server_.errorText());
    unsigned in = 0, out = 0;
    for (std::string line; std::getline(trace, line);) {
        if (line.find(" rtp pt ") == std::string::npos) continue;
        in += line.starts_with("in ");
        out += line.starts_with("out ");
    }
    EXPECT_EQ(sent, in);
    EXPECT_TRUE(received == out || received + 1 == out) << *stats << "; the server sent " << out;
    EXPECT_EQ(failures, 0u);
}

}  // namespace
}  // namespace vorpel::e2e
