// The phone window without its widgets: which display lines show, which
// buttons are enabled, which lamps are lit, where the focus is, what the
// title says, and what each key and button does. A front end (console or Qt)
// renders the view and feeds in keys, button presses and tick messages.
//
// Threads: window thread only. The caller holds the engine lock around every
// call that takes the TerminalState or may reach the port (tick, keyDown,
// press), since those read the engine's state or enter the engine; each of
// them names that lock, so the compiler checks that it is held.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/audio_state.h"
#include "common/mutex.h"
#include "phone/lamp_bank.h"
#include "phone/phone_keys.h"
#include "phone/phone_window_port.h"
#include "signalling/terminal_state.h"

namespace vorpel {

// "Vorpel" followed by the version text padded with spaces to 16 characters.
inline constexpr std::string_view PHONE_WINDOW_TITLE = "Vorpel1.16            ";
inline constexpr size_t SHOWN_LINE_COUNT = 3;

using DisplayLine = std::array<uint8_t, DISPLAY_LINE_CHARS>;

// Everything a front end draws.
struct PhoneWindowView {
    // Empty until the first tick that finds a new display version.
    bool displayShown = false;
    std::array<DisplayLine, SHOWN_LINE_COUNT> lines{};
    std::array<bool, PHONE_BUTTON_COUNT> enabled{};
    std::array<bool, LAMP_COUNT> lit{};
    // The focused button; none while the focus rests on the display list.
    std::optional<PhoneButton> focus;
    std::string title{PHONE_WINDOW_TITLE};

    bool operator==(const PhoneWindowView&) const = default;
};

// What the tick handling reads besides the engine's state.
struct PhoneTickInputs {
    uint32_t rawTickCount = 0;
    uint32_t tickBodyCount = 0;
    bool keepAwake = false;
    AudioMode audioMode = AudioMode::Idle;
};

// The line numbers that show: 0, 1 and 6; 0, 6 and 7 while the settings are
// invalid (the validation message takes both lines of row 3).
std::array<unsigned, SHOWN_LINE_COUNT> shownLineNumbers(RegState regState);

// Keep-awake: the idle timer is reset once every 64 tick bodies.
constexpr bool keepAwakeDue(bool keepAwake, uint32_t tickBodyCount) {
    return keepAwake && tickBodyCount % 64 == 63;
}

class PhoneWindow {
public:
    // Every button enabled and every lamp lit until the first tick.
    explicit PhoneWindow(PhoneWindowPort& port);

    const PhoneWindowView& view() const { return view_; }
    bool enabled(PhoneButton button) const { return view_.enabled[static_cast<size_t>(button)]; }
    uint32_t focusRow() const { return focusRow_; }
    uint32_t focusIndex() const { return focusIndex_; }

    // The tick message: keep-awake, display refresh, signalling socket, then
    // the buttons and lamps.
    void tick(Mutex& engineLock, const TerminalState& state, const PhoneTickInputs& inputs)
        REQUIRES(engineLock);

    // A key down of the device keypad or navigation keys. The action key
    // presses the focused button.
    void keyDown(Mutex& engineLock, uint8_t virtualKey) REQUIRES(engineLock);
    // A click on a button; a disabled button does nothing.
    void press(Mutex& engineLock, PhoneButton button) REQUIRES(engineLock);

    void setTitle(std::string_view title) { view_.title = title; }

private:
    void moveFocus();
    void refreshDisplay(const TerminalState& state);
    void updateControls(const TerminalState& state, const PhoneTickInputs& inputs);
    void setEnabled(PhoneButton button, bool on) { view_.enabled[static_cast<size_t>(button)] = on; }

    PhoneWindowPort& port_;
    PhoneWindowView view_;
    LampBank lamps_;
    uint32_t focusRow_ = 0;    // 0: hook keys; 1: function keys
    uint32_t focusIndex_ = 0;  // function key 0..9 while focusRow_ is 1
    uint32_t lastDisplayVersion_ = 0;
};

}  // namespace vorpel
