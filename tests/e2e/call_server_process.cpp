#include "call_server_process.h"

#include <signal.h>

#include <fstream>
#include <random>
#include <thread>

#include "scripted_server.h"

namespace vorpel::e2e {

namespace {
using Clock = std::chrono::steady_clock;
constexpr const char* LISTENING = "signalling on ";
}  // namespace

std::vector<CallAccount> demoAccounts() {
    return {{"201", "acct-201", "auth-201", "pass-201-secret"},
            {"202", "acct-202", "auth-202", "pass-202-secret"}};
}

CallServerProcess::CallServerProcess(std::vector<CallAccount> accounts, std::vector<std::string> options)
    : accounts_(std::move(accounts)), options_(std::move(options)) {
    std::ofstream file(folder_.path() / "accounts.txt");
    file << "# extension account auth password\n";
    for (const CallAccount& a : accounts_) {
        file << a.extension << ' ' << a.account << ' ' << a.auth << ' ' << a.password << '\n';
    }
}

bool CallServerProcess::start(std::chrono::milliseconds timeout) {
    if (!address_.empty()) return startOn(address_, timeout);
    // A loopback address of its own, away from the scripted servers' 127.77.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 20; ++attempt) {
        const std::string host =
            "127.78." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
        if (!UdpEndpoint(host, SIGNALLING_PORT).ok()) continue;  // taken
        if (startOn(host, timeout)) {
            address_ = host;
            return true;
        }
    }
    return false;
}

bool CallServerProcess::startOn(const std::string& address, std::chrono::milliseconds timeout) {
    std::vector<std::string> args{programPath(VORPEL_CALLSERVER_PATH),
                                  "--accounts",
                                  (folder_.path() / "accounts.txt").string(),
                                  "--listen",
                                  address,
                                  "--port",
                                  std::to_string(SIGNALLING_PORT),
                                  "--relay-port",
                                  std::to_string(RELAY_PORT),
                                  "--max-terminals",
                                  "8",
                                  "--echo",
                                  ECHO_EXTENSION};
    args.insert(args.end(), options_.begin(), options_.end());
    process_ = std::make_unique<ChildProcess>(args, Env{});
    process_->closeInput();
    // The server says where it listens on standard error once its sockets are bound.
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (process_->errorText().find(LISTENING) != std::string::npos) return true;
        if (process_->wait(std::chrono::milliseconds(20))) break;  // could not bind, or a bad option
    }
    kill();
    return false;
}

void CallServerProcess::kill() {
    if (!process_) return;
    ::kill(process_->pid(), SIGKILL);
    process_->wait(std::chrono::seconds(10));
    lastErrorText_ = process_->errorText();
    process_.reset();
}

void CallServerProcess::freeze(bool frozen) {
    if (process_) ::kill(process_->pid(), frozen ? SIGSTOP : SIGCONT);
}

std::optional<int> CallServerProcess::stop(std::chrono::milliseconds timeout) {
    if (!process_) return std::nullopt;
    ::kill(process_->pid(), SIGTERM);
    const auto status = process_->wait(timeout);
    lastErrorText_ = process_->errorText();
    process_.reset();
    return status;
}

std::string CallServerProcess::errorText() const { return process_ ? process_->errorText() : lastErrorText_; }

}  // namespace vorpel::e2e
