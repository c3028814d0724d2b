// vorpel-console against a scripted server: real processes, real UDP on
// loopback, settings in a folder of the test's own.
#include <openssl/evp.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

constexpr const char* BANNER = "MTL540 Qlnk Version 1.16";

Bytes md5(const Bytes& data) {
    Bytes digest(16);
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest.data(), &length, EVP_md5(), nullptr);
    return digest;
}

Bytes field(const std::string& text, size_t width) {
    Bytes out(width, 0);
    std::copy_n(text.begin(), std::min(text.size(), width), out.begin());
    return out;
}

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(t.server().socket().ok()) << "no loopback address free for the server";
        ASSERT_TRUE(t.provision(account));
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << t.transcript();
    }
    // Starts the console and takes it to Connected with a blank display.
    void startConnected() {
        t.start();
        ASSERT_TRUE(t.connect());
        ASSERT_TRUE(t.sawLine(TerminalFixture::displayLine("", "", "")));
    }
    std::optional<Bytes> nextDataFrame() { return t.server().expect(ScriptedServer::isDataFrame, STEP); }

    TerminalFixture t;
    TerminalAccount account;
};

TEST_F(ConsoleTest, RegistrationWalkSeenByTheServerByteForByte) {
    auto& console = t.start();
    EXPECT_TRUE(t.sawLine("buttons 111111111111"));  // before the first tick
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Registering..", "")));
    EXPECT_TRUE(t.sawLine("buttons 000000000000"));

    const auto request = t.server().expect(ScriptedServer::isRegistrationRequest, STEP);
    ASSERT_TRUE(request);
    ASSERT_EQ(request->size(), 137u);  // with the terminal's public value
    const Bytes& r = *request;
    EXPECT_EQ(Bytes(r.begin(), r.begin() + 3), (Bytes{0x00, 0x10, 0x01}));
    EXPECT_EQ(Bytes(r.begin() + 3, r.begin() + 26), field(account.account, 23));
    EXPECT_EQ(r[26], 0);
    EXPECT_EQ(r[27], 1);  // the first request since start
    EXPECT_EQ(r[28], 0);
    Bytes proofInput = field(account.account, 23);
    proofInput.push_back(1);
    proofInput.push_back(0);
    for (uint8_t b : field(account.auth, 23)) proofInput.push_back(b);
    for (uint8_t b : field(account.password, 15)) proofInput.push_back(b);
    const Bytes digest = md5(proofInput);
    EXPECT_EQ(Bytes(r.begin() + 29, r.begin() + 37), Bytes(digest.begin(), digest.begin() + 8));
    const std::string& host = t.server().address();  // 127.77.x.y, first octet first
    EXPECT_EQ(r[37], 127);
    EXPECT_EQ(r[38], 77);
    EXPECT_EQ(std::to_string(r[39]) + "." + std::to_string(r[40]), host.substr(7));
    EXPECT_TRUE(std::any_of(r.begin() + 41, r.end(), [](uint8_t b) { return b != 0; }));

    t.server().sendRegistrationReply(0x1234);
    const auto connectRequest = t.server().expect(ScriptedServer::isConnectRequest, STEP);
    ASSERT_TRUE(connectRequest);
    EXPECT_EQ(*connectRequest, (Bytes{0xFF, 0x34, 0x12, 0x01}));
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Synchronizing..", "")));

    t.server().sendConnectConfirm();
    const auto announce = nextDataFrame();
    ASSERT_TRUE(announce);
    EXPECT_EQ(*announce,
              (Bytes{0xFF, 0x34, 0x12, 0x10, 0x00, 0x50, 0x07, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("", "", "")));
    EXPECT_TRUE(t.sawLine("buttons 111111111110"));
    EXPECT_TRUE(t.sawLine("focus Yes"));
    console.writeLine("quit");
    EXPECT_TRUE(t.sawLine("exit 0"));
    EXPECT_EQ(console.wait(STEP), 0);
}

TEST_F(ConsoleTest, DisplayAndLampsFollowTheServer) {
    startConnected();
    t.server().sendDataFrame(ScriptedServer::displayRow(0, "Welcome                  Line one"));
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("Welcome", "Line one", "")));
    Bytes elements = ScriptedServer::displayRow(3, "Bottom line");
    const Bytes lamps = ScriptedServer::indicators({{24, 3}, {9, 3}, {7, 3}, {15, 3}});
    elements.insert(elements.end(), lamps.begin(), lamps.end());
    t.server().sendDataFrame(elements);
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("Welcome", "Line one", "Bottom line")));
    EXPECT_TRUE(t.sawLine("lamps 1100011"));
    // A fast-blinking lamp goes dark and lit again within a few ticks.
    t.server().sendDataFrame(ScriptedServer::indicators({{24, 1}, {9, 0}, {7, 0}, {15, 0}}));
    EXPECT_TRUE(t.sawLine("lamps 0000000"));
    EXPECT_TRUE(t.sawLine("lamps 1000000"));
    EXPECT_TRUE(t.sawLine("lamps 0000000"));
}

TEST_F(ConsoleTest, KeyPressArrivesAsDataFrame) {
    startConnected();
    t.console().writeLine("key 5");
    const auto frame = nextDataFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, (Bytes{0xFF, 0x34, 0x12, 0x10, 0x01, 0x60, 0x03, 0xFB, 0xBF}));
    t.console().writeLine("press Cnf");
    const auto second = nextDataFrame();
    ASSERT_TRUE(second);
    EXPECT_EQ(Bytes(second->begin() + 5, second->end()), (Bytes{0x60, 0x03, 0x7F, 0xFD}));
    t.console().writeLine("press No");  // disabled while idle: nothing is sent
    t.console().writeLine("right");
    EXPECT_TRUE(t.sawLine("focus Esc"));
    t.console().writeLine("down");
    t.console().writeLine("action");
    const auto third = nextDataFrame();
    ASSERT_TRUE(third);
    EXPECT_EQ(Bytes(third->begin() + 5, third->end()), (Bytes{0x60, 0x03, 0xFD, 0xBF}));
    t.console().writeLine("bogus");
    EXPECT_TRUE(t.sawLine("error \"unknown command: bogus\""));
}

TEST_F(ConsoleTest, QuitAndEndOfInputLogOff) {
    startConnected();
    t.console().writeLine("quit");
    const auto logoff = t.server().expect(ScriptedServer::isLogoff, STEP);
    ASSERT_TRUE(logoff);
    EXPECT_EQ(*logoff, (Bytes{0x01, 0x34, 0x12}));
    EXPECT_TRUE(t.sawLine("exit 0"));
    EXPECT_EQ(t.console().wait(STEP), 0);
    EXPECT_EQ(t.console().lines().back(), "exit 0");

    // End of input quits the same way, and the settings survive the restart.
    startConnected();
    t.console().closeInput();
    EXPECT_TRUE(t.server().expect(ScriptedServer::isLogoff, STEP));
    EXPECT_EQ(t.console().wait(STEP), 0);
}

TEST_F(ConsoleTest, SettingsFlowRestartsTheEngineWithTheNewAccount) {
    startConnected();
    t.console().writeLine("settings account=999 keepawake=1");
    ASSERT_TRUE(t.server().expect(ScriptedServer::isLogoff, STEP));
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Registering..", "")));
    EXPECT_TRUE(t.sawLine("buttons 000000000000"));
    const auto request = t.server().expect(ScriptedServer::isRegistrationRequest, STEP);
    ASSERT_TRUE(request);
    EXPECT_EQ(Bytes(request->begin() + 3, request->begin() + 26), field("999", 23));
    EXPECT_EQ((*request)[27], 1);  // a new engine counts from the start again
    // The accepted settings were stored at once, before any exit.
    const RunResult shown =
        runProgram({VORPEL_PROVISION_PATH, "--app", "vorpel-console", "--show"}, t.environment(), 10s);
    EXPECT_NE(shown.output.find("accountId: \"999\""), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("keepAwake: 1"), std::string::npos) << shown.output;
    EXPECT_NE(shown.output.find("authId: \"auth-4711\""), std::string::npos) << shown.output;
}

TEST_F(ConsoleTest, InvalidSettingsShowTheirMessages) {
    t.start();
    t.console().writeLine("settings password=short");
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Velmarch Password", "too short!")));
    t.console().writeLine("settings address= account=");
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Velmarch IP address", "invalid!")));
    t.console().writeLine("settings address=127.0.0.1");
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine(BANNER, "Velmarch Account", "invalid!")));
}

TEST_F(ConsoleTest, UnresolvableHostShowsSocketFault) {
    t.start();
    t.console().writeLine("settings address=no-such-host.invalid");
    EXPECT_TRUE(t.sawLine("title \"Socket Fault\"", 15s));
    // The terminal goes on without a link: keys are still taken, nothing reaches the server.
    t.console().writeLine("key 1");
    t.console().writeLine("quit");
    EXPECT_TRUE(t.sawLine("exit 0"));
}

TEST_F(ConsoleTest, SecondInstanceRefusesToStart) {
    startConnected();
    ChildProcess second({VORPEL_CONSOLE_PATH, "--playback", (t.folder() / "second.raw").string()},
                        t.environment());
    EXPECT_EQ(second.wait(STEP), 255);
    EXPECT_NE(second.errorText().find("already running"), std::string::npos) << second.errorText();
    // The lock belongs to the executable's path, not its name: the same
    // program copied elsewhere runs beside it (and quits at end of input).
    const auto copy = t.folder() / "elsewhere" / "vorpel-console";
    std::filesystem::create_directories(copy.parent_path());
    std::filesystem::copy_file(VORPEL_CONSOLE_PATH, copy);
    ChildProcess other({copy.string(), "--playback", (t.folder() / "other.raw").string()}, t.environment());
    other.closeInput();
    EXPECT_EQ(other.wait(STEP), 0) << other.errorText();
    // The first one is not disturbed.
    t.console().writeLine("key 0");
    EXPECT_TRUE(nextDataFrame());
}

}  // namespace
}  // namespace vorpel::e2e
