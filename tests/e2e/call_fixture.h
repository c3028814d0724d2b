// Whole calls through a real vorpel-callserver: the server process and the
// terminals (vorpel-console processes from TerminalFixture) registered with it,
// with helpers that wait for what a user would see and hear.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "call_server_process.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {

// The longest any single expected event may take on a loaded machine.
inline constexpr auto EVENT_WAIT = std::chrono::seconds(15);
inline constexpr size_t SAMPLE_RATE = 8000;

// The three shown display lines, trailing blanks removed.
using ShownLines = std::array<std::string, 3>;
std::optional<ShownLines> parseDisplay(const std::string& line);

class CallFixture : public ::testing::Test {
protected:
    explicit CallFixture(bool trace = false) : server_(demoAccounts(), trace) {}
    void SetUp() override;
    // On failure: every terminal's output and the server's standard error.
    void TearDown() override;

    // A terminal provisioned for account (at the server, or at serverAddress
    // when given, e.g. a proxy); capture holds what its microphone will hear.
    TerminalFixture& addTerminal(const CallAccount& account, const std::vector<int16_t>& capture = {},
                                 const std::string& serverAddress = {});
    // Starts the terminal and waits for its idle screen ("Extension NNN").
    bool startAndRegister(TerminalFixture& terminal, const CallAccount& account,
                          std::chrono::milliseconds timeout = EVENT_WAIT);

    // Events may come in any order within a step, so the waits below look at
    // every line since the terminal's mark (set by mark() when a step
    // begins) before reading further.
    void mark(TerminalFixture& terminal);
    void markAll();  // every terminal
    size_t markOf(TerminalFixture& terminal) { return marks_[&terminal]; }
    std::optional<std::string> waitForLine(TerminalFixture& terminal,
                                           const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout = EVENT_WAIT);
    // Waits for a display event whose lines satisfy match.
    std::optional<ShownLines> waitForDisplay(TerminalFixture& terminal,
                                             const std::function<bool(const ShownLines&)>& match,
                                             std::chrono::milliseconds timeout = EVENT_WAIT);
    bool waitForAudio(TerminalFixture& terminal, const std::string& mode,
                      std::chrono::milliseconds timeout = EVENT_WAIT);
    // Presses the keypad keys of digits one after the other.
    static void dial(TerminalFixture& terminal, const std::string& digits);
    // Quits the terminal and waits for its orderly end; true when it exited with 0.
    static bool quit(TerminalFixture& terminal);

    // Samples in a terminal's playback file so far.
    static size_t playedSamples(const TerminalFixture& terminal);
    // Waits until the playback file has grown to at least from + count samples.
    static bool waitForPlayback(const TerminalFixture& terminal, size_t from, size_t count,
                                std::chrono::milliseconds timeout);
    // Compares what a terminal played from voiceAt on (its playback file
    // size when voice started) with our own codec round trip of what the other
    // end captured; prints and records the segmental SNR under name and
    // checks its median against minimumDb. The played file is read after the terminal ended.
    void expectSpeech(const std::string& name, const std::vector<int16_t>& sent,
                      const TerminalFixture& listener, size_t voiceAt, double minimumDb);

    CallServerProcess server_;
    std::vector<std::unique_ptr<TerminalFixture>> terminals_;
    std::map<const TerminalFixture*, size_t> marks_;
};

}  // namespace vorpel::e2e
