// Whole calls between fake terminals, in-process and in virtual time: the
// screens and lamps the server drives, ringing, answering, voice set-up,
// teardown from either side, busy and unknown numbers, sync checks.
#include <gtest/gtest.h>

#include <functional>

#include "server_harness.h"

namespace vorpel::callserver::test {
namespace {

class CallTest : public ::testing::Test {
protected:
    void SetUp() override {
        a = &h.connect(alice(), 40000);
        b = &h.connect(bob(), 40002);
        ASSERT_TRUE(a->connected());
        ASSERT_TRUE(b->connected());
    }
    void establish() {
        a->dial("202");
        h.pump();
        ASSERT_EQ(h.server.phaseOf("202"), CallPhase::Ringing);
        b->hook();
        h.pump();
        ASSERT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    }
    ServerHarness h;
    FakeTerminal* a = nullptr;
    FakeTerminal* b = nullptr;
};

TEST_F(CallTest, IdleScreenShowsExtensionClockAndServiceLamp) {
    EXPECT_EQ(a->line(0), "Extension 201");
    EXPECT_EQ(a->line(1), "22:13 UTC");
    EXPECT_EQ(a->line(6), "");
    EXPECT_EQ(a->indicator(9), 3);
    EXPECT_EQ(a->indicator(24), 0);
    EXPECT_EQ(a->echoReplies(), 1);
    EXPECT_EQ(h.server.counters().echoAnswered, 2u);
    // The clock moves on with the wall time, and only then is row 0 sent again.
    h.ports.wall += 60;
    h.advance(100);
    EXPECT_EQ(a->line(1), "22:14 UTC");
}

TEST_F(CallTest, DigitsAreEchoedAndDelEscEditThem) {
    a->dial("2");
    h.pump();
    EXPECT_EQ(a->line(6), "Dial 2");
    a->dial("0");
    h.pump();
    EXPECT_EQ(a->line(6), "Dial 20");
    a->pressKey(KEY_DEL);
    h.pump();
    EXPECT_EQ(a->line(6), "Dial 2");
    a->pressKey(KEY_ESC);
    h.pump();
    EXPECT_EQ(a->line(6), "");
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
}

TEST_F(CallTest, DiallingRingsTheCalleeAndTheHookKeyAnswers) {
    a->dial("202");
    h.pump();
    EXPECT_EQ(a->line(1), "Calling 202");
    EXPECT_EQ(a->line(6), "Ringing");
    EXPECT_EQ(a->indicator(0), 2);
    EXPECT_EQ(a->melodies(), 1);  // ringback while on hook
    EXPECT_EQ(b->line(1), "Call from 201");
    EXPECT_EQ(b->line(6), "Hook key to answer");
    EXPECT_EQ(b->indicator(24), 1);
    EXPECT_EQ(b->melodies(), 1);
    EXPECT_EQ(b->audioMode(), 2);
    EXPECT_FALSE(b->voicePort());

    b->hook();
    h.pump();
    for (FakeTerminal* t : {a, b}) {
        EXPECT_EQ(t->audioMode(), 3);
        ASSERT_TRUE(t->voicePort());
        EXPECT_EQ(t->voiceAddress(), 0x7F000001u);
        EXPECT_EQ(t->indicator(24), 3);
        EXPECT_EQ(t->indicator(0), 0);
    }
    EXPECT_EQ(a->line(1), "Connected 202");
    EXPECT_EQ(b->line(1), "Connected 201");
    // Each leg has a relay port of its own.
    EXPECT_NE(*a->voicePort(), *b->voicePort());
    EXPECT_EQ(*a->voicePort(), ServerHarness::RELAY_BASE + 0);
    EXPECT_EQ(*b->voicePort(), ServerHarness::RELAY_BASE + 1);
}

TEST_F(CallTest, EitherSideHangingUpReleasesThePeer) {
    for (FakeTerminal* hanger : {a, b}) {
        FakeTerminal* peer = hanger == a ? b : a;
        const int peerReleases = peer->releases(1), hangerReleases = hanger->releases(1);
        establish();
        hanger->hook();  // on hook
        h.pump();
        EXPECT_EQ(peer->releases(1), peerReleases + 1);
        EXPECT_EQ(hanger->releases(1), hangerReleases);  // it ended its own audio
        EXPECT_EQ(peer->audioMode(), 0);
        EXPECT_EQ(peer->indicator(24), 0);
        EXPECT_EQ(peer->line(6), "Call ended");
        EXPECT_EQ(hanger->line(6), "Call ended");
        EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
        EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Idle);
    }
}

TEST_F(CallTest, LogoffDuringACallEndsItForThePeer) {
    establish();
    b->sendLogoff();
    h.pump();
    EXPECT_EQ(a->releases(4), 1);
    EXPECT_EQ(a->line(6), "Call ended");
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Offline);
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
}

// A ringing call ends by the caller cancelling, the callee rejecting or the
// ring timeout; both go idle, the ringing and the ringback stop.
TEST_F(CallTest, RingingEndsByCancelRejectOrTimeout) {
    const struct {
        std::function<void()> end;
        const char* callerSees;
        const char* calleeSees;
    } cases[] = {
        {[&] { a->pressKey(KEY_ESC); }, "Call cancelled", "Missed call"},
        {[&] { b->pressKey(KEY_ESC); }, "Busy", "Call rejected"},
        {[&] { h.advance(CallServer::RING_TIMEOUT_MS + 100); }, "No answer", "Missed call"},
    };
    for (const auto& c : cases) {
        const int aReleases = a->releases(1), bReleases = b->releases(1);
        a->dial("202");
        h.pump();
        c.end();
        h.pump();
        EXPECT_EQ(a->line(6), c.callerSees);
        EXPECT_EQ(b->line(6), c.calleeSees);
        EXPECT_EQ(a->releases(1), aReleases + 1);  // the ringback stops
        EXPECT_EQ(b->releases(1), bReleases + 1);
        EXPECT_EQ(b->audioMode(), 0);
        EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
        EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Idle);
    }
}

TEST_F(CallTest, BusyUnknownAndUnreachableNumbers) {
    FakeTerminal& c = h.connect(carol(), 40004);
    establish();
    c.dial("201");
    h.pump();
    EXPECT_EQ(c.line(6), "Busy 201");
    EXPECT_EQ(h.server.phaseOf("203"), CallPhase::Idle);
    c.dial("555");
    c.pressKey(KEY_OK);
    h.pump();
    EXPECT_EQ(c.line(6), "Unknown number 555");
    c.dial("2041");  // a known account that is not registered
    h.pump();
    EXPECT_EQ(c.line(6), "Not available 2041");
    c.dial("203");
    h.pump();
    EXPECT_EQ(c.line(6), "Busy 203");  // itself
}

TEST_F(CallTest, DialsOnAPrefixOnlyWithOkOrPound) {
    // 204 begins the longer extension 2041: it waits for more digits.
    a->dial("204");
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Dialling);
    a->dial("#");
    h.pump();
    EXPECT_EQ(a->line(6), "Unknown number 204");
}

TEST_F(CallTest, OffHookDiallingPlacesTheCallWithoutRingback) {
    a->hook();
    h.pump();
    EXPECT_EQ(a->line(6), "Dial number");
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Dialling);
    a->dial("202");
    h.pump();
    EXPECT_EQ(a->melodies(), 0);
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Ringing);
    b->hook();
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    EXPECT_TRUE(a->voicePort());
}

TEST_F(CallTest, KeepAliveReportsDoNotEndACall) {
    establish();
    a->sendCallState();  // the terminal's periodic report, still in voice
    b->sendCallState();
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Talking);
    // A ringing terminal's report (melody) does not answer.
    FakeTerminal& c = h.connect(carol(), 40004);
    a->hook();
    h.pump();
    c.dial("201");
    h.pump();
    a->sendCallState();
    h.pump();
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Ringing);
}

TEST_F(CallTest, SyncChecksAreSentAndAnswered) {
    h.advance(3 * CallServer::SYNC_INTERVAL_MS + 100);
    EXPECT_GE(a->syncExpected(), 3);
    EXPECT_GE(h.server.counters().syncAnswered, 6u);
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
}

TEST_F(CallTest, TerminalThatStopsAnsweringSyncChecksIsDropped) {
    establish();
    b->answerSyncChecks = false;
    h.advance(CallServer::SYNC_INTERVAL_MS * (CallServer::SYNC_MISSES_ALLOWED + 2));
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Offline);
    EXPECT_EQ(a->releases(4), 1);
    EXPECT_GE(h.server.counters().terminalsDropped, 1u);
}

TEST_F(CallTest, SilentTerminalIsDropped) {
    h.terminals.pop_back();  // b no longer hears or speaks
    h.advance(CallServer::SILENCE_LIMIT_MS + 5000);
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Offline);
}

TEST_F(CallTest, LostServerFramesAreRecovered) {
    // Every third frame to a is lost on the way.
    int count = 0;
    h.dropToTerminal = [&](FakeTerminal& t, const std::vector<uint8_t>& frame) {
        return &t == a && frame[0] == 0xFF && frame[1] == 0x10 && ++count % 3 == 0;
    };
    a->dial("202");
    h.pump();
    h.advance(5000);
    h.dropToTerminal = nullptr;
    h.advance(2000);
    EXPECT_EQ(a->line(1), "Calling 202");
    EXPECT_EQ(b->line(1), "Call from 201");
}

TEST_F(CallTest, ReRegistrationEndsTheCallAndStartsAfresh) {
    establish();
    a->sendRegistration();  // its engine restarted; the server drops the old session
    h.pump();
    EXPECT_EQ(b->releases(4), 1);
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Idle);
}

TEST_F(CallTest, StaleConnectRequestDoesNotResetAnUpLink) {
    a->sendConnectRequest();
    h.pump();
    EXPECT_EQ(h.server.counters().staleConnects, 1u);
    a->dial("202");
    h.pump();
    EXPECT_EQ(h.server.phaseOf("202"), CallPhase::Ringing);
}

TEST_F(CallTest, TraceDescribesFramesReadably) {
    CallServerConfig config = ServerHarness::defaultConfig();
    config.trace = true;
    ServerHarness traced(config);
    FakeTerminal& t = traced.connect(alice(), 40000);
    t.dial("9");
    traced.pump();
    std::string all;
    for (const auto& line : traced.ports.traces) all += line + "\n";
    EXPECT_NE(all.find("registration request account 'alice' counter 1 with public value"),
              std::string::npos);
    EXPECT_NE(all.find("connect confirm"), std::string::npos);
    EXPECT_NE(all.find("key '9'"), std::string::npos);
    EXPECT_NE(all.find("row 0 'Extension 201' 'Echo test'"), std::string::npos);
    EXPECT_NE(all.find("voice channel port 19880 address 127.0.0.1"), std::string::npos);
}

}  // namespace
}  // namespace vorpel::callserver::test
