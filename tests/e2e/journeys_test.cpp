// What a new user goes through, with real processes on loopback: a first
// start with nothing stored, the account entered at the console, and a
// terminal set up only that way (no numeric server address stored) finding
// its server again after the server restarts and after a lost link. The
// phone window's own first start is tried in the Qt tests.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "call_fixture.h"

namespace vorpel::e2e {
namespace {

using namespace std::chrono_literals;

class Journeys : public CallFixture {
protected:
    Journeys() : CallFixture({"--trace"}) {}

    // A terminal with an empty settings store, started, then given the
    // account with the console's settings command.
    TerminalFixture& startEmptyThenEnter(const CallAccount& account) {
        terminals_.push_back(std::make_unique<TerminalFixture>(server_.address()));
        TerminalFixture& t = *terminals_.back();
        t.start();
        EXPECT_TRUE(waitForDisplay(t, [](const ShownLines& l) { return l[1] == "Velmarch IP address"; }));
        mark(t);
        t.console().writeLine("settings address=" + server_.address() + " account=" + account.account +
                              " auth=" + account.auth + " password=" + account.password);
        return t;
    }
    bool registered(TerminalFixture& t, const CallAccount& account, std::chrono::milliseconds timeout) {
        return waitForDisplay(
                   t, [&](const ShownLines& l) { return l[0] == "Extension " + account.extension; }, timeout)
            .has_value();
    }
};

// A first start with nothing stored: the settings entered at the console
// register without a restart, and the terminal registers again by itself.
TEST_F(Journeys, FirstStartSetUpAtTheConsoleRegistersAndAgainAfterAServerRestartAndALostLink) {
    const CallAccount& account = server_.accounts()[0];
    TerminalFixture& t = startEmptyThenEnter(account);
    ASSERT_TRUE(registered(t, account, EVENT_WAIT));
    const auto& lines = t.console().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "title \"Socket Fault\""), 0);
    EXPECT_NE(t.console().errorText().find("settings address=HOST account=ID auth=ID password=TEXT"),
              std::string::npos);
    const auto registersAgain = [&] {
        return waitForDisplay(
                   t, [](const ShownLines& l) { return l[1] == "Registering.."; }, 40s) &&
               registered(t, account, 40s);
    };
    // A restart: the new server knows nothing of the link, the terminal asks
    // again by itself although only the host text of the server is stored.
    mark(t);
    server_.kill();
    ASSERT_TRUE(server_.start()) << server_.errorText();
    EXPECT_TRUE(registersAgain());
    // A server that stops answering for 15 s while the user types: seven
    // unanswered frames lose the link, and the terminal finds the server again.
    mark(t);
    server_.freeze(true);
    const auto resume = std::chrono::steady_clock::now() + 15s;
    for (int key = 0; key < 10; ++key) {
        t.console().writeLine("key 1");
        std::this_thread::sleep_for(300ms);
    }
    std::this_thread::sleep_until(resume);
    server_.freeze(false);
    EXPECT_TRUE(registersAgain());
    t.console().closeInput();  // the end of input quits
    EXPECT_EQ(t.console().wait(EVENT_WAIT), 0);
}

}  // namespace
}  // namespace vorpel::e2e
