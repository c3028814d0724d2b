// vorpel-callserver as a real process for the whole-program tests: its
// accounts file in a folder of its own, listening on a loopback address of its
// own (so that it may use the signalling port while other tests run), with its
// relay ports on the same address. It can be killed and started again on the
// same address, as a crash and a restart would.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace vorpel::e2e {

struct CallAccount {
    std::string extension;
    std::string account;
    std::string auth;
    std::string password;
};

// Extensions 201 and 202 and the echo extension 9.
std::vector<CallAccount> demoAccounts();

class CallServerProcess {
public:
    static constexpr uint16_t RELAY_PORT = 9880;
    static constexpr const char* ECHO_EXTENSION = "9";

    // Writes the accounts file; start() runs the server with these options
    // besides its addresses (with --trace, every frame in and out goes to its
    // standard error).
    explicit CallServerProcess(std::vector<CallAccount> accounts, std::vector<std::string> options = {});

    // Starts the server on a free loopback address (the same one again after
    // the first start) and waits until it listens; false when it did not.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Kills the server at once, without an orderly stop.
    void kill();
    // Stops (SIGSTOP) or resumes (SIGCONT) the running server: silence on the line.
    void freeze(bool frozen);
    // Asks for an orderly stop and returns the exit status (nothing when it did not end).
    std::optional<int> stop(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    const std::string& address() const { return address_; }
    const std::vector<CallAccount>& accounts() const { return accounts_; }
    // Everything the server wrote on its standard error (with --trace, every
    // frame in and out), of the running server or the one stopped last.
    std::string errorText() const;

private:
    bool startOn(const std::string& address, std::chrono::milliseconds timeout);

    TempFolder folder_;
    std::vector<CallAccount> accounts_;
    std::vector<std::string> options_;
    std::string address_;
    std::unique_ptr<ChildProcess> process_;
    std::string lastErrorText_;
};

}  // namespace vorpel::e2e
