#include "phone/phone_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace vorpel {
namespace {

struct RecordingPort : PhoneWindowPort {
    void queueKey(uint16_t keyCode) override { calls.push_back("key " + std::to_string(keyCode)); }
    void hookKey() override { calls.push_back("hook"); }
    bool ensureSignallingSocket() override {
        calls.push_back("ensure");
        return !failNextEnsure;
    }
    void closeVoiceSocket() override { calls.push_back("closeVoice"); }
    void resetIdleTimer() override { calls.push_back("idle"); }

    std::vector<std::string> calls;
    bool failNextEnsure = false;
};

std::string key(uint16_t code) { return "key " + std::to_string(code); }

void writeLine(TerminalState& state, unsigned line, const char* text) {
    auto* first = state.display.data() + line * DISPLAY_LINE_CHARS;
    std::memset(first, ' ', DISPLAY_LINE_CHARS);
    std::memcpy(first, text, std::strlen(text));
    ++state.displayVersion;
}

std::string shown(const PhoneWindowView& view, size_t i) {
    return std::string(view.lines[i].begin(), view.lines[i].end());
}

class PhoneWindowTest : public ::testing::Test {
protected:
    PhoneWindowTest() { state.display.fill(' '); }
    void tick() {
        window.tick(engineLock, state, {rawTick, bodyTick, keepAwake, audioMode});
        ++rawTick;
        ++bodyTick;
    }
    // Registering for a tick, then connected.
    void connect(AudioMode mode = AudioMode::Idle) {
        state.regState = RegState::Registering;
        tick();
        state.regState = RegState::Connected;
        audioMode = mode;
        tick();
    }

    RecordingPort port;
    PhoneWindow window{port};
    Mutex engineLock;  // named in the calls; these tests run on one thread
    TerminalState state;
    uint32_t rawTick = 0;
    uint32_t bodyTick = 0;
    bool keepAwake = false;
    AudioMode audioMode = AudioMode::Idle;
};

TEST_F(PhoneWindowTest, ShownLinesDependOnSettingsValidity) {
    writeLine(state, 0, "banner");
    writeLine(state, 1, "status");
    writeLine(state, 6, "six");
    writeLine(state, 7, "seven");
    state.regState = RegState::Registering;
    tick();
    EXPECT_EQ(shown(window.view(), 0), "banner                   ");
    EXPECT_EQ(shown(window.view(), 1), "status                   ");
    EXPECT_EQ(shown(window.view(), 2), "six                      ");
    state.regState = RegState::SettingsInvalid;
    ++state.displayVersion;
    tick();
    EXPECT_EQ(shown(window.view(), 1), "six                      ");
    EXPECT_EQ(shown(window.view(), 2), "seven                    ");
}

TEST_F(PhoneWindowTest, SocketFaultStopsTheTickBeforeControlsUpdate) {
    writeLine(state, 0, "banner");
    state.regState = RegState::Registering;
    port.failNextEnsure = true;
    tick();
    EXPECT_TRUE(window.view().displayShown);  // the display was refreshed first
    EXPECT_TRUE(window.view().enabled[0]);    // but the buttons were not touched
    port.failNextEnsure = false;
    tick();
    EXPECT_FALSE(window.view().enabled[0]);
}

TEST_F(PhoneWindowTest, KeepAwakeEverySixtyFourthTickBody) {
    keepAwake = true;
    for (int i = 0; i < 130; ++i) tick();
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "idle"), 2);  // bodies 63 and 127
    keepAwake = false;
    bodyTick = 63;
    port.calls.clear();
    tick();
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "idle"), 0);
}

TEST_F(PhoneWindowTest, ConnectedEnablesAllButNoAndVoiceSwapsTheHookKeys) {
    connect();
    for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i)
        EXPECT_EQ(window.view().enabled[i], static_cast<PhoneButton>(i) != PhoneButton::No) << i;
    EXPECT_EQ(window.view().focus, PhoneButton::Yes);
    audioMode = AudioMode::Voice;
    port.calls.clear();
    tick();
    EXPECT_TRUE(window.enabled(PhoneButton::No));
    EXPECT_FALSE(window.enabled(PhoneButton::Yes));
    EXPECT_EQ(window.view().focus, PhoneButton::No);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "closeVoice"), 0);
    // Right arrow to the function row, then audio returns to idle: "Yes" takes the focus and row 0.
    window.keyDown(engineLock, VK_RIGHT);
    ASSERT_EQ(window.focusRow(), 1u);
    audioMode = AudioMode::Idle;
    tick();
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "closeVoice"), 1);
    EXPECT_EQ(window.view().focus, PhoneButton::Yes);
    EXPECT_EQ(window.focusRow(), 0u);
    tick();  // nothing to change: the voice socket is not closed again
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "closeVoice"), 1);
    audioMode = AudioMode::Melody;  // a melody keeps "Yes" to answer it
    tick();
    EXPECT_TRUE(window.enabled(PhoneButton::Yes));
    EXPECT_FALSE(window.enabled(PhoneButton::No));
}

TEST_F(PhoneWindowTest, AllOnUntilTheFirstTickThenOffAndLampsForgottenWhileNotConnected) {
    for (bool on : window.view().enabled) EXPECT_TRUE(on);
    for (bool on : window.view().lit) EXPECT_TRUE(on);
    EXPECT_FALSE(window.view().displayShown);
    state.indicators[32] = 3;
    connect();
    EXPECT_TRUE(window.view().lit[4]);
    state.regState = RegState::Registering;
    tick();
    for (bool on : window.view().enabled) EXPECT_FALSE(on);
    for (bool on : window.view().lit) EXPECT_FALSE(on);
    connect();  // the unchanged indicator is applied again
    EXPECT_TRUE(window.view().lit[4]);
}

// Keypad keys queue their codes in any state; other keys, and the action key
// while nothing has the focus, are swallowed.
TEST_F(PhoneWindowTest, KeypadKeysQueueTheirCodesInAnyState) {
    for (char c : std::string("1234567890*#")) window.keyDown(engineLock, *keypadVirtualKey(c));
    for (uint8_t vk : {uint8_t{VK_BACK}, uint8_t{0x41}, uint8_t{VK_ACTION}}) window.keyDown(engineLock, vk);
    const std::vector<std::string> expected{key(0xFBF7), key(0xFB7F), key(0xF7FB), key(0xFBFB),
                                            key(0xFBBF), key(0xF7F7), key(0xFBFD), key(0xFBDF),
                                            key(0xF7FD), key(0xFBEF), key(0xFBFE), key(0xF7FE)};
    EXPECT_EQ(port.calls, expected);
}

TEST_F(PhoneWindowTest, FocusMovesWithWrapAndRowToggle) {
    connect();
    // On row 0 up and down do nothing; the function row wraps both ways
    // through its ten keys; back on the hook keys "No" is disabled, so "Yes",
    // and on the function row again its remembered key.
    const std::pair<uint8_t, PhoneButton> steps[] = {
        {VK_UP, PhoneButton::Yes},   {VK_DOWN, PhoneButton::Yes}, {VK_LEFT, PhoneButton::Esc},
        {VK_UP, PhoneButton::Cnf},   {VK_DOWN, PhoneButton::Esc}, {VK_RIGHT, PhoneButton::Yes},
        {VK_RIGHT, PhoneButton::Esc}};
    for (const auto& [vk, focus] : steps) {
        window.keyDown(engineLock, vk);
        EXPECT_EQ(window.view().focus, focus) << int{vk};
    }
    for (int i = 0; i < 10; ++i) window.keyDown(engineLock, VK_DOWN);
    EXPECT_EQ(window.view().focus, PhoneButton::Esc);
}

TEST_F(PhoneWindowTest, ActionPressesFocusedButtonOnlyWhenEnabled) {
    state.regState = RegState::Registering;
    tick();
    window.keyDown(engineLock, VK_RIGHT);  // focus "Esc", which is disabled
    window.keyDown(engineLock, VK_DOWN);   // "<"
    window.keyDown(engineLock, VK_ACTION);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), key(0xFDBF)), 0);
    connect();
    window.keyDown(engineLock, VK_RIGHT);  // toggle back: focus was given to "Yes" by the connect
    window.keyDown(engineLock, VK_ACTION);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), key(0xFDBF)), 1);
    window.keyDown(engineLock, VK_LEFT);
    window.keyDown(engineLock, VK_ACTION);
    EXPECT_EQ(port.calls.back(), "hook");
}

TEST_F(PhoneWindowTest, EveryButtonSendsItsCode) {
    connect(AudioMode::Idle);
    for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i) window.press(engineLock, static_cast<PhoneButton>(i));
    const std::vector<std::string> expected{"hook",      key(0xFD7F), key(0xFDBF), key(0xFDDF),
                                            key(0xFDEF), key(0xFDF7), key(0x7FDF), key(0xFEBF),
                                            key(0xF7BF), key(0xF77F), key(0x7FFD)};  // "No" disabled
    port.calls.erase(port.calls.begin(), port.calls.end() - static_cast<long>(expected.size()));
    EXPECT_EQ(port.calls, expected);
}

}  // namespace
}  // namespace vorpel
