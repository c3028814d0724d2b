#include "terminal_fixture.h"

#include <filesystem>
#include <fstream>
#include <utility>

namespace vorpel::e2e {

TerminalFixture::TerminalFixture() : TerminalFixture(std::string()) {
    server_.emplace();
    serverAddress_ = server_->address();
}

TerminalFixture::TerminalFixture(std::string serverAddress) : serverAddress_(std::move(serverAddress)) {
    std::filesystem::create_directories(folder_.path() / "runtime");
    std::filesystem::create_directories(folder_.path() / "config");
    std::ofstream(captureFile()).put('\0');  // nearly empty: silence after it
}

Env TerminalFixture::environment() const {
    return {{"XDG_RUNTIME_DIR", (folder_.path() / "runtime").string()},
            {"XDG_CONFIG_HOME", (folder_.path() / "config").string()}};
}

bool TerminalFixture::provision(const TerminalAccount& account, bool numericAddress) {
    const std::string program = programPath(VORPEL_PROVISION_PATH);
    std::vector<std::string> args{program,        "--app",      "vorpel-console", "--server",
                                  serverAddress_, "--account",  account.account,  "--auth",
                                  account.auth,   "--password", account.password};
    if (numericAddress) {
        args.push_back("--numeric");
        args.push_back(serverAddress_);
    }
    return runProgram(args, environment(), 10s).status == 0;
}

ChildProcess& TerminalFixture::start(std::vector<std::string> audioOptions, const Env& extra) {
    if (audioOptions.empty())
        audioOptions = {"--capture", captureFile().string(), "--playback", playbackFile().string()};
    audioOptions.insert(audioOptions.begin(), programPath(VORPEL_CONSOLE_PATH));
    Env env = environment();
    env.insert(env.end(), extra.begin(), extra.end());
    console_ = std::make_unique<ChildProcess>(std::move(audioOptions), env);
    return *console_;
}

std::string TerminalFixture::transcript() const {
    if (!console_) return "(not started)\n";
    std::string text = "console output:\n";
    for (const auto& line : console_->lines()) text += line + "\n";
    return text + "stderr:\n" + console_->errorText();
}

bool TerminalFixture::sawLine(const std::string& text, std::chrono::milliseconds timeout) {
    return console_->waitForLine([&](const std::string& line) { return line == text; }, timeout).has_value();
}

std::string TerminalFixture::displayLine(const std::string& l0, const std::string& l1,
                                         const std::string& l2) {
    auto pad = [](std::string s) {
        s.resize(25, ' ');
        return "\"" + s + "\"";
    };
    return "display " + pad(l0) + " " + pad(l1) + " " + pad(l2);
}

}  // namespace vorpel::e2e
