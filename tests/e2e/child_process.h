// A program under test run as a real process: arguments, environment
// overrides, standard input through a pipe, standard output read line by line
// with bounded waits, standard error collected into a file.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorpel::e2e {

using Env = std::vector<std::pair<std::string, std::string>>;

// A fresh folder under the system's temporary folder, removed with the object.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class ChildProcess {
public:
    // Starts argv[0] with the given arguments; env entries replace or add
    // variables of this process's environment.
    ChildProcess(std::vector<std::string> argv, const Env& env);
    ~ChildProcess();  // kills a process that is still running
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void writeLine(std::string_view line);
    void closeInput();

    // The next line of standard output (without its newline), or nothing when
    // none arrives within the timeout or the output has ended.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Reads lines until one satisfies match; every line read is kept in lines().
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& match,
                                           std::chrono::milliseconds timeout);
    const std::vector<std::string>& lines() const { return lines_; }

    // The exit status (or 128 + signal), or nothing when the process has not
    // ended within the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout);
    std::string errorText() const;

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    std::string pending_;
    bool outputEnded_ = false;
    std::vector<std::string> lines_;
    std::optional<int> status_;
    TempFolder errorFolder_;
};

// Where a test finds one of the project's programs: its path in the build,
// or the folder named by VORPEL_TEST_PROGRAM_DIR (the installed programs).
std::string programPath(const std::filesystem::path& built);

// Runs a program to its end (at most timeout) and returns its exit status and output.
struct RunResult {
    int status = -1;
    std::string output;
    std::string error;
};
RunResult runProgram(std::vector<std::string> argv, const Env& env, std::chrono::milliseconds timeout);

}  // namespace vorpel::e2e
