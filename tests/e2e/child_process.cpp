#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace vorpel::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorpel-e2e-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ChildProcess::ChildProcess(std::vector<std::string> argv, const Env& env) {
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        if (std::none_of(env.begin(), env.end(),
                         [&](const auto& kv) { return entry.starts_with(kv.first + "="); }))
            environment.push_back(entry);
    }
    for (const auto& [key, value] : env) environment.push_back(key + "=" + value);
    std::vector<char*> argp, envp;
    for (auto& a : argv) argp.push_back(a.data());
    for (auto& e : environment) envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string errorPath = (errorFolder_.path() / "stderr").string();

    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
        // A test that dies (a crash, a timeout) takes its programs with it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int err = ::open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        if (err >= 0) ::dup2(err, 2);
        ::execve(argp[0], argp.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    input_ = in[1];
    output_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (input_ >= 0) ::close(input_);
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    if (output_ >= 0) ::close(output_);
}

void ChildProcess::writeLine(std::string_view line) {
    // Lines are short: one write takes them whole into the pipe.
    const std::string data = std::string(line) + "\n";
    const sighandler_t old = ::signal(SIGPIPE, SIG_IGN);
    if (input_ >= 0) [[maybe_unused]]
        const auto written = ::write(input_, data.data(), data.size());
    ::signal(SIGPIPE, old);
}

void ChildProcess::closeInput() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            lines_.push_back(line);
            return line;
        }
        if (outputEnded_) return std::nullopt;
        pollfd p{output_, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::read(output_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            outputEnded_ = true;
            continue;
        }
        pending_.append(buffer, static_cast<size_t>(n));
    }
}

std::optional<std::string> ChildProcess::waitForLine(const std::function<bool(const std::string&)>& match,
                                                     std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto line = readLine(std::chrono::milliseconds(remainingMs(deadline)));
        if (!line) return std::nullopt;
        if (match(*line)) return line;
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (status_) return status_;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (Clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string ChildProcess::errorText() const {
    std::stringstream text;
    text << std::ifstream(errorFolder_.path() / "stderr").rdbuf();
    return text.str();
}

std::string programPath(const std::filesystem::path& built) {
    const char* folder = std::getenv("VORPEL_TEST_PROGRAM_DIR");
    return folder != nullptr && folder[0] != '\0' ? (folder / built.filename()).string() : built.string();
}

RunResult runProgram(std::vector<std::string> argv, const Env& env, std::chrono::milliseconds timeout) {
    ChildProcess child(std::move(argv), env);
    child.closeInput();
    RunResult result;
    const auto deadline = Clock::now() + timeout;
    while (auto line = child.readLine(std::chrono::milliseconds(remainingMs(deadline)))) {
        result.output += *line + "\n";
    }
    result.status = child.wait(std::chrono::milliseconds(remainingMs(deadline) + 1000)).value_or(-1);
    result.error = child.errorText();
    return result;
}

}  // namespace vorpel::e2e
