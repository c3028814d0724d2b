#include "pulse_sound_server.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace vorpel::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* FORMAT_OPTIONS[] = {"--raw", "--format=s16le", "--rate=8000", "--channels=1",
                                          "--latency-msec=20"};

std::string inherited(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void writeFile(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text; }

// Asks a process to end (SIGTERM or SIGINT) and waits for it a little.
void stop(std::unique_ptr<ChildProcess>& process, int signal) {
    if (!process) return;
    ::kill(process->pid(), signal);
    process->wait(3s);
    process.reset();  // kills it outright if it is still there
}

}  // namespace

std::string PulseSoundServer::findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

bool PulseSoundServer::installed() {
    for (const char* program : {"pulseaudio", "pactl", "pacat", "parec"}) {
        if (findProgram(program).empty()) return false;
    }
    return true;
}

PulseSoundServer::PulseSoundServer(const std::filesystem::path& folder) : folder_(folder / "pulse") {
    std::filesystem::create_directories(folder_ / "run");
    std::filesystem::create_directories(folder_ / "config");
    ::chmod(folder_.c_str(), 0700);
    ::chmod((folder_ / "run").c_str(), 0700);
    // Nothing but what the tests need: no hardware detection, no session bus.
    writeFile(folder_ / "daemon.pa",
              "load-module module-null-sink sink_name=speaker rate=8000 channels=1\n"
              "load-module module-null-sink sink_name=mic rate=8000 channels=1\n"
              "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                  (folder_ / "native").string() +
                  "\n"
                  "set-default-sink speaker\n"
                  "set-default-source mic.monitor\n");
    writeFile(folder_ / "client.conf", "autospawn = no\n");
    // Replaces the whole ALSA configuration: the only device is the default
    // one, and it is the sound server; real cards play no part.
    writeFile(folder_ / "asound.conf", "pcm.!default { type pulse }\nctl.!default { type pulse }\n");
    // libpulse hands its memory blocks between its threads through lock-free
    // lists that ThreadSanitizer cannot see in an uninstrumented library: under
    // TSan its calls are not checked (the terminal's own code still is).
    writeFile(folder_ / "tsan.supp", "called_from_lib:libpulse.so\ncalled_from_lib:libpulsecommon\n");
}

PulseSoundServer::~PulseSoundServer() {
    stopFeederAndRecorder();
    stop(daemon_, SIGTERM);
}

Env PulseSoundServer::clientEnvironment(bool reachable) const {
    const auto socket = folder_ / (reachable ? "native" : "nobody-listens");
    return {
        {"PULSE_SERVER", "unix:" + socket.string()},
        {"PULSE_CLIENTCONFIG", (folder_ / "client.conf").string()},
        {"ALSA_CONFIG_PATH", (folder_ / "asound.conf").string()},
        {"HOME", folder_.string()},
        {"JACK_NO_START_SERVER", "1"},
        {"TSAN_OPTIONS", inherited("TSAN_OPTIONS") + " suppressions=" + (folder_ / "tsan.supp").string()}};
}

bool PulseSoundServer::start() {
    // As root too: --system=false runs a private per-user daemon (it warns
    // that root should not, and goes on); the runtime folder and the home
    // folder are the test's own, so nothing of a session's daemon is touched.
    daemon_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{findProgram("pulseaudio"), "-n", "-F", (folder_ / "daemon.pa").string(),
                                 "--daemonize=no", "--system=false", "--exit-idle-time=-1",
                                 "--use-pid-file=no", "--disable-shm=yes", "--realtime=no",
                                 "--high-priority=no", "--log-target=stderr"},
        Env{{"HOME", folder_.string()},
            {"XDG_RUNTIME_DIR", (folder_ / "run").string()},
            {"XDG_CONFIG_HOME", (folder_ / "config").string()}});
    daemon_->closeInput();
    return waitUntilAnswering();
}

bool PulseSoundServer::waitUntilAnswering() {
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        if (daemon_->wait(0ms)) {
            error_ = "pulseaudio ended at start:\n" + daemon_->errorText();
            return false;
        }
        if (runProgram({findProgram("pactl"), "info"}, clientEnvironment(), 5s).status == 0) return true;
        std::this_thread::sleep_for(100ms);
    }
    error_ = "pulseaudio did not answer within 10 s:\n" + daemon_->errorText();
    return false;
}

bool PulseSoundServer::startFeederAndRecorder(const std::filesystem::path& file) {
    std::vector<std::string> feed{findProgram("pacat"), "--playback", "--device=mic"};
    std::vector<std::string> record{findProgram("parec"), "--device=speaker.monitor"};
    for (const char* option : FORMAT_OPTIONS) {
        feed.emplace_back(option);
        record.emplace_back(option);
    }
    feed.push_back(file.string());
    record.push_back(recordingFile().string());
    feeder_ = std::make_unique<ChildProcess>(feed, clientEnvironment());
    recorder_ = std::make_unique<ChildProcess>(record, clientEnvironment());
    // Running once the speaker's monitor delivers (silence) into the file.
    const auto deadline = Clock::now() + 10s;
    while (Clock::now() < deadline) {
        if (feeder_->wait(0ms) || recorder_->wait(0ms)) break;
        std::error_code ignored;
        if (std::filesystem::file_size(recordingFile(), ignored) > 0 && ignored.value() == 0) return true;
        std::this_thread::sleep_for(50ms);
    }
    error_ = "pacat or parec could not start:\n" + feeder_->errorText() + recorder_->errorText();
    return false;
}

void PulseSoundServer::stopFeederAndRecorder() {
    stop(feeder_, SIGINT);
    stop(recorder_, SIGINT);
}

}  // namespace vorpel::e2e
