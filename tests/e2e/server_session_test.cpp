// Registration against a vorpel-callserver process: a wrong password is
// refused, and a server that is killed and started again mid-session gets its
// terminal back without anyone touching the terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "call_fixture.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* REFUSED = "Velmarch refused connctn!";

class ServerSession : public CallFixture {
protected:
    ServerSession() : CallFixture(/*trace=*/true) {}
};

TEST_F(ServerSession, WrongPasswordIsRefused) {
    CallAccount account = server_.accounts()[0];
    account.password = "wrong-password";
    TerminalFixture& a = addTerminal(account);
    a.start();
    const auto shown = waitForDisplay(a, [](const ShownLines& l) { return l[2] == REFUSED; });
    ASSERT_TRUE(shown);
    EXPECT_EQ((*shown)[0], "MTL540 Qlnk Version 1.16");
    EXPECT_NE(server_.errorText().find("refusal 'Wrong credentials'"), std::string::npos);
    EXPECT_TRUE(quit(a));

    // The other account, with its right password, is let in meanwhile.
    TerminalFixture& b = addTerminal(server_.accounts()[1]);
    EXPECT_TRUE(startAndRegister(b, server_.accounts()[1]));
}

TEST_F(ServerSession, TerminalRegistersAgainAfterAServerRestart) {
    const auto& account = server_.accounts()[0];
    TerminalFixture& a = addTerminal(account);
    ASSERT_TRUE(startAndRegister(a, account));

    mark(a);
    server_.kill();
    ASSERT_TRUE(server_.start()) << server_.errorText();
    const auto restarted = Clock::now();
    // The new server does not know the terminal; the terminal finds out from
    // the link and registers again by itself.
    EXPECT_TRUE(waitForDisplay(
        a, [](const ShownLines& l) { return l[1] == "Registering.."; }, 40s));
    ASSERT_TRUE(waitForDisplay(
        a, [&](const ShownLines& l) { return l[0] == "Extension " + account.extension; }, 40s));
    std::printf("[ restart  ] registered again %.1f s after the server restarted\n",
                std::chrono::duration<double>(Clock::now() - restarted).count());

    // And the new session works: the echo extension answers.
    mark(a);
    dial(a, CallServerProcess::ECHO_EXTENSION);
    EXPECT_TRUE(waitForAudio(a, "voice"));
    EXPECT_TRUE(waitForDisplay(a, [](const ShownLines& l) { return l[1] == "Echo test"; }));
    a.console().writeLine("press No");
    EXPECT_TRUE(waitForAudio(a, "idle"));
    EXPECT_TRUE(quit(a));
}

}  // namespace
}  // namespace vorpel::e2e
