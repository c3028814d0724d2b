// A whole call with the signalling between each terminal and the server
// passed through a proxy that drops a tenth of the datagrams in each
// direction, duplicates another tenth and reorders another tenth: the link's numbering and acknowledgements
// must bring every key to the server exactly once and in order, and the call still completes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "call_fixture.h"
#include "lossy_udp_proxy.h"
#include "scripted_server.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t SEED = 1;            // under which one registration request is lost (15 s)
constexpr double SPOILED_SHARE = 0.10;  // of each kind
constexpr auto KEY_SPACING = 250ms;     // a brisk typist
constexpr auto REGISTRATION_WAIT = 40s;
// Fifteen digits, the most the server collects, forming no extension.
constexpr const char* DIGITS = "314159265358979";

class LossySignalling : public CallFixture {
protected:
    LossySignalling() : CallFixture(/*trace=*/true) {}

    // The keys the server acted on for an extension, from its trace.
    std::vector<std::string> keysTakenFrom(const std::string& extension) {
        std::vector<std::string> keys;
        std::istringstream trace(server_.errorText());
        const std::string marker = " extension " + extension + " pressed ";
        for (std::string line; std::getline(trace, line);) {
            if (const size_t at = line.find(marker); at != std::string::npos)
                keys.push_back(line.substr(at + marker.size()));
        }
        return keys;
    }
};

TEST_F(LossySignalling, KeysArriveOnceAndInOrderAndTheCallCompletes) {
    LossyUdpProxy proxy(server_.address(), SIGNALLING_PORT, SEED, SPOILED_SHARE);
    ASSERT_TRUE(proxy.ok());
    const auto& accounts = server_.accounts();
    TerminalFixture& a = addTerminal(accounts[0], {}, proxy.address());
    TerminalFixture& b = addTerminal(accounts[1], {}, proxy.address());
    const auto started = Clock::now();
    // A registration request or reply lost on the way costs 15 s (the
    // terminal's repeat time), a lost connect request or confirm 2 s.
    ASSERT_TRUE(startAndRegister(a, accounts[0], REGISTRATION_WAIT));
    ASSERT_TRUE(startAndRegister(b, accounts[1], REGISTRATION_WAIT));
    const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - started).count(); };
    std::printf("[ timing   ] both registered after %.1f s\n", elapsed());

    // The server shows what it has collected: every state shown must be one
    // the keys pass through, in their order (a tick may show only the last of
    // several keys that arrive together after a repair).
    mark(a);
    const std::string typed = DIGITS;
    std::vector<std::string> states;
    for (size_t n = 1; n <= typed.size(); ++n) states.push_back(typed.substr(0, n));
    states.push_back(typed.substr(0, typed.size() - 1));
    states.push_back(typed.substr(0, typed.size() - 2));
    for (char digit : typed) {
        a.console().writeLine(std::string("key ") + digit);
        std::this_thread::sleep_for(KEY_SPACING);
    }
    a.console().writeLine("press Del");
    std::this_thread::sleep_for(KEY_SPACING);
    a.console().writeLine("press Del");
    // Once the server has taken every key (its trace below says which, and in
    // what order), Esc clears the number; the states shown up to then are checked.
    const auto deadline = Clock::now() + 40s;
    while (keysTakenFrom("201").size() < typed.size() + 2 && Clock::now() < deadline)
        std::this_thread::sleep_for(100ms);
    std::printf("[ timing   ] number dialled after %.1f s\n", elapsed());
    a.console().writeLine("press Esc");
    EXPECT_TRUE(waitForDisplay(
        a, [](const ShownLines& l) { return l[2].empty(); }, 30s));
    size_t reached = 0;
    for (size_t i = markOf(a); i < a.console().lines().size(); ++i) {
        const auto l = parseDisplay(a.console().lines()[i]);
        if (!l || (*l)[2].rfind("Dial ", 0) != 0) continue;
        const std::string last = (*l)[2].substr(5);
        const auto state = std::find(states.begin() + static_cast<long>(reached), states.end(), last);
        EXPECT_NE(state, states.end()) << "the server collected \"" << last << "\" after " << states[reached];
        if (state != states.end()) reached = static_cast<size_t>(state - states.begin());
    }
    std::printf("[ timing   ] number cleared after %.1f s\n", elapsed());

    // The call: ringing, answer, talk, hang up.
    markAll();
    dial(a, "202");
    EXPECT_TRUE(waitForDisplay(
        b, [](const ShownLines& l) { return l[1] == "Call from 201"; }, 30s));
    EXPECT_TRUE(waitForAudio(b, "melody", 30s));
    std::printf("[ timing   ] ringing after %.1f s\n", elapsed());
    markAll();
    b.console().writeLine("press Yes");
    EXPECT_TRUE(waitForAudio(a, "voice", 30s));
    EXPECT_TRUE(waitForAudio(b, "voice", 30s));
    EXPECT_TRUE(waitForDisplay(
        a, [](const ShownLines& l) { return l[1] == "Connected 202"; }, 30s));
    EXPECT_TRUE(waitForDisplay(
        b, [](const ShownLines& l) { return l[1] == "Connected 201"; }, 30s));
    std::printf("[ timing   ] connected after %.1f s\n", elapsed());
    markAll();
    a.console().writeLine("press No");
    EXPECT_TRUE(waitForAudio(a, "idle", 30s));
    EXPECT_TRUE(waitForAudio(b, "idle", 30s));
    EXPECT_TRUE(waitForDisplay(
        b, [](const ShownLines& l) { return l[2] == "Call ended"; }, 30s));
    EXPECT_TRUE(quit(a));
    EXPECT_TRUE(quit(b));
    const double seconds = elapsed();

    proxy.stop();
    const auto up = proxy.toServer(), down = proxy.toTerminals();
    std::printf(
        "[ proxy    ] to the server: %llu passed, %llu dropped, %llu duplicated, %llu reordered; "
        "to the terminals: %llu passed, %llu dropped, %llu duplicated, %llu reordered; %.1f s\n",
        static_cast<unsigned long long>(up.passed), static_cast<unsigned long long>(up.dropped),
        static_cast<unsigned long long>(up.duplicated), static_cast<unsigned long long>(up.reordered),
        static_cast<unsigned long long>(down.passed), static_cast<unsigned long long>(down.dropped),
        static_cast<unsigned long long>(down.duplicated), static_cast<unsigned long long>(down.reordered),
        seconds);
    // The server took each key exactly once, in the order pressed.
    std::vector<std::string> expectedKeys;
    for (char digit : typed) expectedKeys.push_back(std::string("'") + digit + "'");
    for (const char* key : {"Del", "Del", "Esc", "'2'", "'0'", "'2'"}) expectedKeys.emplace_back(key);
    EXPECT_EQ(keysTakenFrom("201"), expectedKeys);
    EXPECT_TRUE(keysTakenFrom("202").empty());  // B only used the hook key

    // The test proves something only when the proxy did spoil traffic both ways.
    for (const auto& c : {up, down}) {
        EXPECT_GT(c.dropped, 0u);
        EXPECT_GT(c.duplicated, 0u);
        EXPECT_GT(c.reordered, 0u);
    }
}

}  // namespace
}  // namespace vorpel::e2e
