// Sound devices chosen by name, on a private PulseAudio daemon with two null
// sinks whose monitors parec records: an echo call's voice comes out of the
// sink named on the command line and not out of the other (the default),
// and the next call's out of the other once the console's device command has
// chosen it; a name that is not there falls back to the default device with a
// notice; the devices command lists them. ALSA (where PortAudio looks) reads only the
// test's configuration, which names the sinks "vorpel_a" and "vorpel_b".
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "audio_signal.h"
#include "call_server_process.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

double rms(const std::vector<int16_t>& samples, size_t from = 0) {
    double sum = 0;
    for (size_t i = from; i < samples.size(); ++i) sum += static_cast<double>(samples[i]) * samples[i];
    return samples.size() > from ? std::sqrt(sum / static_cast<double>(samples.size() - from)) : 0;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::seconds timeout) {
    for (const auto end = std::chrono::steady_clock::now() + timeout; !condition();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
    return true;
}

class SoundDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"pulseaudio", "pactl", "parec"})
            if (!std::filesystem::exists(std::string("/usr/bin/") + program))
                GTEST_SKIP() << program << " is not installed (scripts/install-deps.sh adds it)";
        ::chmod(dir().c_str(), 0700);
        std::ofstream(dir() / "client.conf") << "autospawn = no\n";
        std::ofstream pa(dir() / "daemon.pa"), alsa(dir() / "asound.conf");
        pa << "load-module module-native-protocol-unix auth-anonymous=1 socket="
           << (dir() / "native").string();
        alsa << "pcm.!default { type pulse }\nctl.!default { type pulse }\n";
        for (const char* name : {"a", "b"}) {
            pa << "\nload-module module-null-sink rate=8000 channels=1 sink_name=sink_" << name;
            alsa << "pcm.vorpel_" << name << " { type pulse device sink_" << name << " }\n";
        }
        pa << "\nset-default-sink sink_a\n";
        pa.close();
        alsa.close();
        // --system=false keeps even root's daemon private to the folder.
        daemon_ = std::make_unique<ChildProcess>(
            std::vector<std::string>{"/usr/bin/pulseaudio", "-n", "-F", (dir() / "daemon.pa").string(),
                                     "--daemonize=no", "--system=false", "--exit-idle-time=-1",
                                     "--use-pid-file=no", "--disable-shm=yes", "--realtime=no"},
            Env{{"HOME", dir().string()}, {"XDG_RUNTIME_DIR", dir().string()}});
        ASSERT_TRUE(waitFor(
            [&] {
                return runProgram({"/usr/bin/pactl", "info"}, env(), 5s).status == 0;
            },
            10s))
            << daemon_->errorText();
        // Recording keeps both sinks busy, so a player opened on one starts at once.
        for (const char* sink : {"sink_a", "sink_b"})
            recorders_.push_back(std::make_unique<ChildProcess>(
                std::vector<std::string>{"/usr/bin/parec", std::string("--device=") + sink + ".monitor",
                                         "--raw", "--format=s16le", "--rate=8000", "--channels=1",
                                         recording(sink)},
                env()));
        ASSERT_TRUE(server_.start()) << server_.errorText();
    }
    const std::filesystem::path& dir() const { return folder_.path(); }
    std::string recording(const std::string& sink) const { return (dir() / (sink + ".raw")).string(); }
    Env env() const {
        return {{"PULSE_SERVER", "unix:" + (dir() / "native").string()},
                {"PULSE_CLIENTCONFIG", (dir() / "client.conf").string()},
                {"ALSA_CONFIG_PATH", (dir() / "asound.conf").string()},
                {"JACK_NO_START_SERVER", "1"}};
    }

    TempFolder folder_;
    std::unique_ptr<ChildProcess> daemon_;
    std::vector<std::unique_ptr<ChildProcess>> recorders_;
    CallServerProcess server_{demoAccounts()};
};

TEST_F(SoundDeviceTest, TheEchoIsHeardOnTheNamedSinkThenOnTheOneChosenNextAndAMissingNameFallsBack) {
    const CallAccount& account = server_.accounts()[0];
    double loudB = 0;
    TerminalFixture t(server_.address());
    ASSERT_TRUE(writeSamples(t.captureFile(), toneSteps(160000, 8000)));
    ASSERT_TRUE(t.provision({account.account, account.auth, account.password}));
    t.start({"--capture", t.captureFile().string(), "--playback-device", "vorpel_b"}, env());
    ASSERT_TRUE(
        t.console().waitForLine([](const std::string& l) { return l.find("Extension 201") != l.npos; }, 15s))
        << t.transcript();
    t.console().writeLine(std::string("key ") + CallServerProcess::ECHO_EXTENSION);
    ASSERT_TRUE(t.sawLine("audio voice", 15s)) << t.transcript();
    // The echo comes back on the sink named; its last second recorded is loud.
    const auto loud = [&](const char* sink, double& level) {
        return waitFor(
            [&] {
                const auto heard = readSamples(recording(sink));
                return heard.size() > 8000 && (level = rms(heard, heard.size() - 8000)) > 300;
            },
            30s);
    };
    ASSERT_TRUE(loud("sink_b", loudB));
    auto onA = readSamples(recording("sink_a"));
    // Moved to sink_a at the console, the next call is heard there.
    t.console().writeLine("press No");
    ASSERT_TRUE(t.sawLine("audio idle", 15s)) << t.transcript();
    t.console().writeLine("device playback vorpel_a");
    t.console().writeLine(std::string("key ") + CallServerProcess::ECHO_EXTENSION);
    double loudA = 0;
    EXPECT_TRUE(loud("sink_a", loudA)) << t.transcript();
    t.console().writeLine("quit");
    EXPECT_EQ(t.console().wait(15s), 0) << t.transcript();
    for (auto& recorder : recorders_) {
        ::kill(recorder->pid(), SIGINT);
        recorder->wait(5s);
    }
    std::printf(
        "RMS of the echo's last second on sink_b (chosen) %.1f; of the %zu samples on sink_a meanwhile"
        " %.1f; on sink_a after the move %.1f\n",
        loudB, onA.size(), rms(onA), loudA);
    EXPECT_GT(onA.size(), 8000u);  // recorded all along, and silent
    EXPECT_LT(rms(onA), 1.0);

    TerminalFixture other(server_.address());
    other.start({"--playback-device", "gone"}, env());
    other.console().writeLine("devices");
    other.console().writeLine("quit");
    EXPECT_TRUE(other.sawLine("exit 0", 15s)) << other.transcript();
    EXPECT_NE(
        other.console().errorText().find("playback device \"gone\" not found; using the default device\n"),
        std::string::npos);
    std::vector<std::string> playback;
    for (const auto& line : other.console().lines())
        if (line.starts_with("device playback ")) playback.push_back(line.substr(16));
    EXPECT_EQ(playback, (std::vector<std::string>{"\"default\"", "\"vorpel_a\"", "\"vorpel_b\""}));
}

}  // namespace
}  // namespace vorpel::e2e
