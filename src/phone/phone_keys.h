// The phone window's controls and the 16-bit key codes they send.
//
// Every key code is a keypad-matrix code: exactly one bit at 0 in its high
// byte and exactly one bit at 0 in its low byte. The server maps them back to
// keys; the terminal only passes them on (queueKey).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace vorpel {

// The twelve push buttons, in the order the window creates them.
enum class PhoneButton : uint8_t { Yes, Esc, Left, Ok, Right, Del, Rec, Mut, Tra, Fla, Cnf, No };
inline constexpr size_t PHONE_BUTTON_COUNT = 12;
inline constexpr size_t FUNCTION_KEY_COUNT = 10;

struct ButtonInfo {
    std::string_view caption;
    uint16_t controlId;
    uint16_t keyCode;  // 0 for the two hook keys, which call hookKey instead
};

inline constexpr std::array<ButtonInfo, PHONE_BUTTON_COUNT> BUTTONS{{
    {"Yes", 1019, 0},
    {"Esc", 1059, 0xFD7F},
    {"<", 1060, 0xFDBF},
    {"OK", 1061, 0xFDDF},
    {">", 1062, 0xFDEF},
    {"Del", 1063, 0xFDF7},
    {"Rec", 1021, 0x7FDF},
    {"Mut", 1022, 0xFEBF},
    {"Tra", 1023, 0xF7BF},
    {"Fla", 1024, 0xF77F},
    {"Cnf", 1064, 0x7FFD},
    {"No", 1020, 0},
}};

constexpr const ButtonInfo& buttonInfo(PhoneButton button) { return BUTTONS[static_cast<size_t>(button)]; }
constexpr bool isHookKey(PhoneButton button) {
    return button == PhoneButton::Yes || button == PhoneButton::No;
}

// The function keys in focus order: index 0 "Esc" to index 9 "Cnf".
constexpr PhoneButton functionKey(uint32_t focusIndex) {
    return static_cast<PhoneButton>(1 + focusIndex % FUNCTION_KEY_COUNT);
}

// The button whose caption is exactly `caption`, if any.
std::optional<PhoneButton> buttonByCaption(std::string_view caption);

// Virtual keys the window reacts to.
inline constexpr uint8_t VK_ACTION = 0x0D;
inline constexpr uint8_t VK_BACK = 0x1B;
inline constexpr uint8_t VK_LEFT = 0x25;
inline constexpr uint8_t VK_UP = 0x26;
inline constexpr uint8_t VK_RIGHT = 0x27;
inline constexpr uint8_t VK_DOWN = 0x28;
inline constexpr uint8_t VK_STAR = 0x77;
inline constexpr uint8_t VK_POUND = 0x78;

// Key codes of the keypad, indexed by digit 0..9.
inline constexpr std::array<uint16_t, 10> DIGIT_KEY_CODES{
    0xFBEF, 0xFBF7, 0xFB7F, 0xF7FB, 0xFBFB, 0xFBBF, 0xF7F7, 0xFBFD, 0xFBDF, 0xF7FD,
};
inline constexpr uint16_t STAR_KEY_CODE = 0xFBFE;
inline constexpr uint16_t POUND_KEY_CODE = 0xF7FE;

// The key code of a keypad virtual key (digits 0x30..0x39, star, pound), if it is one.
constexpr std::optional<uint16_t> keypadKeyCode(uint8_t virtualKey) {
    if (virtualKey >= 0x30 && virtualKey <= 0x39) return DIGIT_KEY_CODES[virtualKey - 0x30u];
    if (virtualKey == VK_STAR) return STAR_KEY_CODE;
    if (virtualKey == VK_POUND) return POUND_KEY_CODE;
    return std::nullopt;
}

// The virtual key of a keypad character '0'..'9', '*' or '#', if it is one.
constexpr std::optional<uint8_t> keypadVirtualKey(char key) {
    if (key >= '0' && key <= '9') return static_cast<uint8_t>(key);
    if (key == '*') return VK_STAR;
    if (key == '#') return VK_POUND;
    return std::nullopt;
}

}  // namespace vorpel
