// vorpel-console against a scripted server: real processes, real UDP on
// loopback, settings in a folder of the test's own.
#include <gtest/gtest.h>

#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

constexpr const char* BANNER = "MTL540 Qlnk Version 1.16";

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(t.server().socket().ok()) << "no loopback address free for the server";
        ASSERT_TRUE(t.provision(TerminalAccount{}));
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << t.transcript();
    }
    // The elements of the terminal's next data frame.
    Bytes nextElements() {
        const auto frame = t.server().expect(ScriptedServer::isDataFrame, STEP);
        return frame ? Bytes(frame->begin() + 5, frame->end()) : Bytes{};
    }
    static std::string screen(const std::string& l1, const std::string& l2) {
        return TerminalFixture::displayLine(BANNER, l1, l2);
    }

    TerminalFixture t;
};

TEST_F(ConsoleTest, RegistersShowsTheServersScreenSendsKeysAndLogsOff) {
    auto& console = t.start();
    EXPECT_TRUE(t.sawLine("buttons 111111111111"));  // before the first tick
    EXPECT_TRUE(t.sawLine(screen("Registering..", "")));
    EXPECT_TRUE(t.sawLine("buttons 000000000000"));
    const auto request = t.server().expect(ScriptedServer::isRegistrationRequest, STEP);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->size(), 137u);  // with the terminal's public value
    t.server().sendRegistrationReply(0x1234);
    const auto connectRequest = t.server().expect(ScriptedServer::isConnectRequest, STEP);
    ASSERT_TRUE(connectRequest);
    EXPECT_EQ(*connectRequest, (Bytes{0xFF, 0x34, 0x12, 0x01}));
    EXPECT_TRUE(t.sawLine(screen("Synchronizing..", "")));
    t.server().sendConnectConfirm();
    EXPECT_EQ(nextElements(), (Bytes{0x50, 0x07, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00}));  // the announce
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("", "", "")));
    EXPECT_TRUE(t.sawLine("buttons 111111111110"));
    EXPECT_TRUE(t.sawLine("focus Yes"));

    t.server().sendDataFrame(ScriptedServer::displayRow(0, "Welcome                  Line one"));
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("Welcome", "Line one", "")));
    Bytes elements = ScriptedServer::displayRow(3, "Bottom line");
    const Bytes lamps = ScriptedServer::indicators({{24, 3}, {9, 3}, {7, 3}, {15, 3}});
    elements.insert(elements.end(), lamps.begin(), lamps.end());
    t.server().sendDataFrame(elements);
    EXPECT_TRUE(t.sawLine(TerminalFixture::displayLine("Welcome", "Line one", "Bottom line")));
    EXPECT_TRUE(t.sawLine("lamps 1100011"));
    t.server().sendDataFrame(ScriptedServer::indicators({{24, 1}, {9, 0}, {7, 0}, {15, 0}}));
    EXPECT_TRUE(t.sawLine("lamps 0000000"));
    EXPECT_TRUE(t.sawLine("lamps 1000000"));  // fast blinking

    console.writeLine("key 5");
    EXPECT_EQ(nextElements(), (Bytes{0x60, 0x03, 0xFB, 0xBF}));
    console.writeLine("press No");  // disabled while idle: nothing is sent
    console.writeLine("press Cnf");
    EXPECT_EQ(nextElements(), (Bytes{0x60, 0x03, 0x7F, 0xFD}));
    console.writeLine("right");
    EXPECT_TRUE(t.sawLine("focus Esc"));
    console.writeLine("down");
    console.writeLine("action");
    EXPECT_EQ(nextElements(), (Bytes{0x60, 0x03, 0xFD, 0xBF}));
    console.writeLine("bogus");
    EXPECT_TRUE(t.sawLine("error \"unknown command: bogus\""));
    console.writeLine("quit");
    EXPECT_EQ(t.server().expect(ScriptedServer::isLogoff, STEP), (Bytes{0x01, 0x34, 0x12}));
    EXPECT_TRUE(t.sawLine("exit 0"));
    EXPECT_EQ(console.wait(STEP), 0);
}

}  // namespace
}  // namespace vorpel::e2e
