// Registration: proofs accepted and refused, malformed requests ignored, and
// the key both sides derive.
#include <gtest/gtest.h>

#include <cstring>

#include "registration_frame.h"
#include "server_harness.h"

namespace vorpel::callserver::test {
namespace {

std::vector<uint8_t> lastRequest(FakeTerminal& t) {
    t.sendRegistration();
    return t.takeOutbox().back();
}

std::vector<uint8_t> lastTo(ServerHarness& h, const Endpoint& to) {
    for (auto it = h.ports.sent.rbegin(); it != h.ports.sent.rend(); ++it) {
        if (it->to == to) return it->bytes;
    }
    for (auto it = h.log.rbegin(); it != h.log.rend(); ++it) {
        if (it->to == to) return it->bytes;
    }
    return {};
}

TEST(Registration, AcceptsAProofAndAgreesOnTheSessionKey) {
    ServerHarness h;
    FakeTerminal& a = h.add(alice(), 40000);
    const auto request = lastRequest(a);
    ASSERT_EQ(request.size(), 137u);
    h.server.handleSignalling(request, a.signalling(), h.now);
    const auto reply = lastTo(h, a.signalling());
    ASSERT_EQ(reply.size(), 113u);
    EXPECT_EQ(reply[0], 0x00);
    a.receive(reply);
    EXPECT_TRUE(a.registered());
    EXPECT_TRUE(a.hasKey());
    EXPECT_EQ(h.server.counters().registrations, 1u);
    // The connect request is confirmed with exactly 0xFF 0x02.
    h.ports.sent.clear();
    h.pump();
    ASSERT_FALSE(h.log.empty());
    EXPECT_EQ(h.log.front().bytes, (std::vector<uint8_t>{0xFF, 0x02}));
    EXPECT_TRUE(a.connected());
}

TEST(Registration, ShortRequestGetsShortReplyWithoutKey) {
    ServerHarness h;
    FakeTerminal& a = h.add(alice(), 40000, false);
    const auto request = lastRequest(a);
    ASSERT_EQ(request.size(), 41u);
    h.server.handleSignalling(request, a.signalling(), h.now);
    const auto reply = lastTo(h, a.signalling());
    EXPECT_EQ(reply.size(), 17u);
    EXPECT_EQ(reply[1] | (reply[2] << 8), 0x1000);
}

TEST(Registration, RefusesUnknownAccountsAndWrongProofs) {
    ServerHarness h;
    FakeTerminal& stranger = h.connect({"mallory", "x", "whatever-pass"}, 40000);
    EXPECT_EQ(stranger.refusal(), "Unknown account");
    FakeTerminal& wrong = h.connect({"alice", "alice-auth", "secret-pass-13"}, 40002);
    EXPECT_EQ(wrong.refusal(), "Wrong credentials");
    FakeTerminal& wrongAuth = h.connect({"alice", "alice-aut", "secret-pass-12"}, 40004);
    EXPECT_EQ(wrongAuth.refusal(), "Wrong credentials");
    EXPECT_FALSE(stranger.registered() || wrong.registered() || wrongAuth.registered());
    EXPECT_EQ(h.server.counters().refusals, 3u);
    // The refusal is 0x80, the text and a closing zero byte.
    const auto refusal = lastTo(h, wrongAuth.signalling());
    EXPECT_EQ(refusal.size(), 1 + std::string("Wrong credentials").size() + 1);
    EXPECT_EQ(refusal.back(), 0);
    // A proof made for one counter does not pass under another.
    FakeTerminal& a = h.add(alice(), 40006);
    auto request = lastRequest(a);
    request[27] = 7;
    h.server.handleSignalling(request, a.signalling(), h.now);
    EXPECT_EQ(h.server.counters().refusals, 4u);
}

TEST(Registration, AcceptsAProofComputedByHand) {
    // MD5 over "alice" (23 bytes), counter 1 (01 00), "alice-auth" (23 bytes)
    // and "secret-pass-12" (15 bytes) begins 69 39 3a a3 57 08 28 48.
    std::vector<uint8_t> request(41, 0);
    request[1] = 0x10;
    request[2] = 0x01;
    std::memcpy(request.data() + 3, "alice", 5);
    request[27] = 1;
    const uint8_t proof[8] = {0x69, 0x39, 0x3a, 0xa3, 0x57, 0x08, 0x28, 0x48};
    std::memcpy(request.data() + 29, proof, 8);
    ServerHarness h;
    h.server.handleSignalling(request, at(40000), h.now);
    EXPECT_EQ(h.server.counters().registrations, 1u);
    EXPECT_EQ(h.ports.sent.back().bytes.size(), 17u);
    request[36] ^= 1;  // the last proof byte
    h.server.handleSignalling(request, at(40002), h.now);
    EXPECT_EQ(h.server.counters().refusals, 1u);
}

TEST(Registration, IgnoresRequestsOfWrongLengthOrLayout) {
    ServerHarness h;
    FakeTerminal& a = h.add(alice(), 40000);
    const auto request = lastRequest(a);
    for (size_t length : {1u, 40u, 42u, 136u, 138u, 200u}) {
        std::vector<uint8_t> bad(request.begin(), request.begin() + std::min<size_t>(length, request.size()));
        bad.resize(length, 0);
        h.server.handleSignalling(bad, a.signalling(), h.now);
    }
    for (size_t offset : {1u, 2u, 26u}) {
        auto bad = request;
        bad[offset] ^= 0x40;
        h.server.handleSignalling(bad, a.signalling(), h.now);
    }
    EXPECT_TRUE(h.ports.sent.empty());
    EXPECT_EQ(h.server.counters().malformed, 9u);
    // A public value of 1 would give a key anyone can compute.
    auto weak = request;
    std::fill(weak.begin() + 41, weak.end(), 0);
    weak[136] = 1;
    h.server.handleSignalling(weak, a.signalling(), h.now);
    EXPECT_EQ(h.server.counters().refusals, 1u);
}

TEST(Registration, RepeatedRequestGetsTheSameServerValue) {
    ServerHarness h;
    FakeTerminal& a = h.add(alice(), 40000);
    h.server.handleSignalling(lastRequest(a), a.signalling(), h.now);
    const auto first = lastTo(h, a.signalling());
    // The reply was lost; the terminal asks again with the next counter.
    h.server.handleSignalling(lastRequest(a), a.signalling(), h.now);
    const auto second = lastTo(h, a.signalling());
    EXPECT_EQ(first, second);
    EXPECT_EQ(h.server.counters().registrations, 2u);
}

TEST(Registration, AnAccountMovesToItsNewAddress) {
    ServerHarness h;
    FakeTerminal& old = h.connect(alice(), 40000);
    ASSERT_TRUE(old.connected());
    FakeTerminal& moved = h.connect(alice(), 41000);
    ASSERT_TRUE(moved.connected());
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);
    // Frames from the old address are no longer taken.
    const uint64_t unknown = h.server.counters().unknownSource;
    old.pressKey(digitKey('2'));
    h.pump();
    EXPECT_GT(h.server.counters().unknownSource, unknown);
    EXPECT_EQ(h.server.phaseOf("201"), CallPhase::Idle);  // not dialling
}

TEST(Registration, ServerFullIsRefused) {
    CallServerConfig config = ServerHarness::defaultConfig();
    config.maxTerminals = 1;
    ServerHarness h(config);
    EXPECT_TRUE(h.connect(alice(), 40000).connected());
    EXPECT_EQ(h.connect(bob(), 40002).refusal(), "Server full");
}

}  // namespace
}  // namespace vorpel::callserver::test
