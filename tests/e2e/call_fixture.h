// Whole calls through a real vorpel-callserver: the server process and the
// terminals (vorpel-console processes) registered with it, with waits for
// what a user would see.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <memory>

#include "call_server_process.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {

inline constexpr auto EVENT_WAIT = std::chrono::seconds(15);  // the longest any expected event may take

// The three shown display lines, trailing blanks removed.
using ShownLines = std::array<std::string, 3>;
inline std::optional<ShownLines> parseDisplay(const std::string& line) {
    if (!line.starts_with("display ")) return std::nullopt;
    ShownLines lines;
    size_t at = 0;
    for (std::string& shown : lines) {
        const size_t open = line.find('"', at), close = line.find('"', open + 1);
        if (close == std::string::npos) return std::nullopt;
        shown = line.substr(open + 1, close - open - 1);
        shown.erase(shown.find_last_not_of(' ') + 1);
        at = close + 1;
    }
    return lines;
}

class CallFixture : public ::testing::Test {
protected:
    explicit CallFixture(std::vector<std::string> serverOptions = {})
        : server_(demoAccounts(), std::move(serverOptions)) {}
    void SetUp() override { ASSERT_TRUE(server_.start()) << server_.errorText(); }
    void TearDown() override {
        if (!HasFailure()) return;
        for (auto& t : terminals_) ADD_FAILURE() << t->transcript();
        ADD_FAILURE() << "server:\n" << server_.errorText();
    }
    // Events of one step come in any order: the waits look at every line
    // since the terminal's mark (set when a step begins) before reading on.
    void mark(TerminalFixture& t) { marks_[&t] = t.console().lines().size(); }
    std::optional<std::string> waitForLine(TerminalFixture& t,
                                           const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout = EVENT_WAIT) {
        const auto& lines = t.console().lines();
        for (size_t i = marks_[&t]; i < lines.size(); ++i)
            if (match(lines[i])) return lines[i];
        return t.console().waitForLine(match, timeout);
    }
    std::optional<ShownLines> waitForDisplay(TerminalFixture& t,
                                             const std::function<bool(const ShownLines&)>& match,
                                             std::chrono::milliseconds timeout = EVENT_WAIT) {
        const auto line = waitForLine(
            t, [&](const std::string& l) { return parseDisplay(l) && match(*parseDisplay(l)); }, timeout);
        return line ? parseDisplay(*line) : std::nullopt;
    }
    static bool quit(TerminalFixture& t) {
        t.console().writeLine("quit");
        return t.console().wait(EVENT_WAIT) == 0;
    }

    CallServerProcess server_;
    std::vector<std::unique_ptr<TerminalFixture>> terminals_;
    std::map<const TerminalFixture*, size_t> marks_;
};

}  // namespace vorpel::e2e
