// What a new user goes through, with real processes on loopback: a first
// start with nothing stored, the account entered at the console, and a
// terminal set up only that way (no numeric server address stored) finding
// its server again after the server restarts; and the phone window's first
// start through its own settings dialog, typed into on an X server of its own.
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
    Journeys() : CallFixture(/*trace=*/true) {}

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

TEST_F(Journeys, FirstStartWithNothingStoredThenSettingsAtTheConsoleRegistersWithoutARestart) {
    const CallAccount& account = server_.accounts()[0];
    TerminalFixture& t = startEmptyThenEnter(account);
    EXPECT_TRUE(registered(t, account, STEP));
    const auto& lines = t.console().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "title \"Socket Fault\""), 0);
    EXPECT_NE(t.console().errorText().find("settings address=HOST account=ID auth=ID password=TEXT"),
              std::string::npos);
    EXPECT_TRUE(quit(t));
}

TEST_F(Journeys, TerminalSetUpAtTheConsoleRegistersAgainAfterAServerRestart) {
    const CallAccount& account = server_.accounts()[0];
    TerminalFixture& t = startEmptyThenEnter(account);
    ASSERT_TRUE(registered(t, account, EVENT_WAIT));
    mark(t);
    server_.kill();
    ASSERT_TRUE(server_.start()) << server_.errorText();
    // The link to the new server is lost; the terminal asks again by itself,
    // although only the host text of the server is stored.
    EXPECT_TRUE(waitForDisplay(
        t, [](const ShownLines& l) { return l[1] == "Registering.."; }, 40s));
    EXPECT_TRUE(registered(t, account, 40s));
    EXPECT_TRUE(quit(t));
}

#ifdef VORPEL_PATH
TEST_F(Journeys, FirstStartOfThePhoneWindowThroughItsSettingsDialog) {
    const std::string xvfb = "/usr/bin/Xvfb", xdotool = "/usr/bin/xdotool";
    if (!std::filesystem::exists(xvfb) || !std::filesystem::exists(xdotool))
        GTEST_SKIP() << "Xvfb or xdotool is not installed (scripts/install-deps.sh installs them)";
    ChildProcess x({xvfb, "-displayfd", "1", "-screen", "0", "640x480x24", "-nolisten", "tcp"}, {});
    const auto number = x.readLine(STEP);
    ASSERT_TRUE(number) << x.errorText();
    TempFolder folder;
    const Env env{{"DISPLAY", ":" + *number},
                  {"QT_QPA_PLATFORM", "xcb"},
                  {"XDG_CONFIG_HOME", (folder.path() / "config").string()},
                  {"XDG_RUNTIME_DIR", folder.path().string()},
                  {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder.path() / "no-bus").string()}};
    ChildProcess phone({VORPEL_PATH, "--capture", "/dev/null", "--playback", "/dev/null"}, env);
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), xdotool);
        return runProgram(args, env, STEP);
    };
    const auto xdo = [&](const std::vector<std::string>& args) { return run(args).status == 0; };
    // Nothing is stored: the settings dialog opens by itself over the phone window.
    const auto until = [](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + EVENT_WAIT;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(100ms);
        }
        return true;
    };
    std::string windows;
    ASSERT_TRUE(until([&] {
        windows = run({"search", "--onlyvisible", "--class", "vorpel"}).output;
        return std::count(windows.begin(), windows.end(), '\n') == 2;
    })) << phone.errorText();
    // The keys go to the dialog (the window whose name is the program's).
    std::istringstream ids(windows);
    for (std::string id; ids >> id;) {
        if (run({"getwindowname", id}).output == "vorpel\n") {
            ASSERT_TRUE(xdo({"windowfocus", "--sync", id}));
        }
    }
    const CallAccount& account = server_.accounts()[0];
    // The focus starts on the address; Tab moves down the fields, Return is Ok.
    for (const std::string& field : {server_.address(), account.account, account.auth, account.password})
        ASSERT_TRUE(xdo({"type", "--delay", "10", field}) &&
                    xdo({"key", field == account.password ? "Return" : "Tab"}));
    EXPECT_TRUE(until([&] { return server_.errorText().find("connect confirm") != std::string::npos; }))
        << phone.errorText();
    ::kill(phone.pid(), SIGTERM);
    EXPECT_EQ(phone.wait(STEP), 0) << phone.errorText();
}
#endif

}  // namespace
}  // namespace vorpel::e2e
