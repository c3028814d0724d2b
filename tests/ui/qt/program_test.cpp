// The vorpel program as a process: a second start brings the first to the
// front and ends, and a termination request ends the first in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "child_process.h"

namespace vorpel {
namespace {

using namespace std::chrono_literals;
using e2e::ChildProcess;
using e2e::Env;
using e2e::TempFolder;

bool instanceListening(const std::filesystem::path& runtime) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(runtime, error))
        if (entry.path().filename().string().starts_with("vorpel-window-")) return true;
    return false;
}

TEST(VorpelProgram, ASecondStartRaisesTheFirstAndATerminationRequestEndsItInOrder) {
    TempFolder folder;
    const auto runtime = folder.path() / "run";
    const auto config = folder.path() / "config";
    std::filesystem::create_directories(runtime);
    ::chmod(runtime.c_str(), 0700);
    const Env env{{"XDG_RUNTIME_DIR", runtime.string()},
                  {"XDG_CONFIG_HOME", config.string()},
                  {"QT_QPA_PLATFORM", "offscreen"},
                  {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (folder.path() / "no-bus").string()}};
    ChildProcess first({VORPEL_PATH, "--capture", "/dev/null", "--playback", "/dev/null"}, env);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!instanceListening(runtime) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(instanceListening(runtime)) << first.errorText();

    const e2e::RunResult second = e2e::runProgram({VORPEL_PATH}, env, 15s);
    EXPECT_EQ(second.status, 255) << second.error;

    ::kill(first.pid(), SIGTERM);
    EXPECT_EQ(first.wait(10s), 0) << first.errorText();
    // The orderly end saved the settings.
    EXPECT_TRUE(std::filesystem::exists(config / "VorpelMobile" / "vorpel" / "Settings" / "Glbl"));
}

}  // namespace
}  // namespace vorpel
