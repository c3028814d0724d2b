// One terminal under test: vorpel-console as a real process with its own
// runtime and configuration folders, file audio, provisioned for a scripted
// server on a loopback address of its own (or for a server that runs
// elsewhere, such as a vorpel-callserver process).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"
#include "scripted_server.h"

namespace vorpel::e2e {

using namespace std::chrono_literals;

inline constexpr auto STEP = 5s;  // the longest any single expected event may take

struct TerminalAccount {
    std::string account = "4711";
    std::string auth = "auth-4711";
    std::string password = "secret-secret";
};

class TerminalFixture {
public:
    TerminalFixture();
    // A terminal for the server at serverAddress; it has no scripted server.
    explicit TerminalFixture(std::string serverAddress);

    ScriptedServer& server() { return *server_; }
    const std::string& serverAddress() const { return serverAddress_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    std::filesystem::path playbackFile() const { return folder_.path() / "playback.raw"; }
    std::filesystem::path captureFile() const { return folder_.path() / "capture.raw"; }
    Env environment() const;

    // Writes the store with vorpel-provision; true when it succeeded.
    bool provision(const TerminalAccount& account, bool numericAddress = true);
    // Starts vorpel-console with file audio, or with the audio options given
    // and extra environment.
    ChildProcess& start(std::vector<std::string> audioOptions = {}, const Env& extra = {});
    ChildProcess& console() { return *console_; }
    // The console's output lines so far and its standard error, for failure messages.
    std::string transcript() const;

    // Waits for a console line equal to text.
    bool sawLine(const std::string& text, std::chrono::milliseconds timeout = STEP);
    // The display event for the three lines (each padded to 25 characters).
    static std::string displayLine(const std::string& l0, const std::string& l1, const std::string& l2);

private:
    TempFolder folder_;
    std::optional<ScriptedServer> server_;
    std::string serverAddress_;
    std::unique_ptr<ChildProcess> console_;
};

}  // namespace vorpel::e2e
