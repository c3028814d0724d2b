#include "phone/phone_window.h"

#include <algorithm>

namespace vorpel {

std::array<unsigned, SHOWN_LINE_COUNT> shownLineNumbers(RegState regState) {
    if (regState == RegState::SettingsInvalid) return {0, 6, 7};
    return {0, 1, 6};
}

PhoneWindow::PhoneWindow(PhoneWindowPort& port) : port_(port) {
    view_.enabled.fill(true);
    view_.lit = lamps_.lit();
}

void PhoneWindow::tick(Mutex&, const TerminalState& state, const PhoneTickInputs& inputs) {
    if (keepAwakeDue(inputs.keepAwake, inputs.tickBodyCount)) port_.resetIdleTimer();
    refreshDisplay(state);
    if (!port_.ensureSignallingSocket()) return;  // "Socket Fault": nothing more this tick
    updateControls(state, inputs);
}

void PhoneWindow::refreshDisplay(const TerminalState& state) {
    if (state.displayVersion == lastDisplayVersion_) return;
    lastDisplayVersion_ = state.displayVersion;
    const auto numbers = shownLineNumbers(state.regState);
    for (size_t i = 0; i < SHOWN_LINE_COUNT; ++i) {
        const auto first = state.display.begin() + numbers[i] * DISPLAY_LINE_CHARS;
        std::copy(first, first + DISPLAY_LINE_CHARS, view_.lines[i].begin());
    }
    view_.displayShown = true;
}

void PhoneWindow::updateControls(const TerminalState& state, const PhoneTickInputs& inputs) {
    if (state.regState != RegState::Connected) {
        if (enabled(PhoneButton::Esc)) {  // just left Connected, or the first tick
            view_.enabled.fill(false);
            lamps_.darkenAll();
            view_.lit = lamps_.lit();
        }
        return;
    }
    if (!enabled(PhoneButton::Esc)) {
        for (uint32_t i = 0; i < FUNCTION_KEY_COUNT; ++i) setEnabled(functionKey(i), true);
    }
    if (inputs.audioMode != AudioMode::Voice) {
        if (!enabled(PhoneButton::Yes)) {
            port_.closeVoiceSocket();
            setEnabled(PhoneButton::Yes, true);
            view_.focus = PhoneButton::Yes;
            focusRow_ = 0;
            setEnabled(PhoneButton::No, false);
        }
    } else if (!enabled(PhoneButton::No)) {
        setEnabled(PhoneButton::No, true);
        view_.focus = PhoneButton::No;
        setEnabled(PhoneButton::Yes, false);
    }
    lamps_.update(state.indicators, inputs.rawTickCount);
    view_.lit = lamps_.lit();
}

void PhoneWindow::moveFocus() {
    if (focusRow_ == 0) {
        if (enabled(PhoneButton::No)) {
            view_.focus = PhoneButton::No;
        } else if (enabled(PhoneButton::Yes)) {
            view_.focus = PhoneButton::Yes;
        }
        return;
    }
    view_.focus = functionKey(focusIndex_);  // enabled or not
}

void PhoneWindow::keyDown(Mutex& engineLock, uint8_t virtualKey) {
    if (const auto code = keypadKeyCode(virtualKey)) {
        port_.queueKey(*code);  // whatever the registration state: the server decides
        return;
    }
    switch (virtualKey) {
    case VK_LEFT:
    case VK_RIGHT:
        focusRow_ = 1 - focusRow_;
        moveFocus();
        break;
    case VK_UP:
        if (focusRow_ == 1) {
            focusIndex_ = focusIndex_ == 0 ? FUNCTION_KEY_COUNT - 1 : focusIndex_ - 1;
            moveFocus();
        }
        break;
    case VK_DOWN:
        if (focusRow_ == 1) {
            focusIndex_ = focusIndex_ + 1 == FUNCTION_KEY_COUNT ? 0 : focusIndex_ + 1;
            moveFocus();
        }
        break;
    case VK_ACTION:
        if (view_.focus) press(engineLock, *view_.focus);
        break;
    default:
        break;  // every other key is swallowed
    }
}

void PhoneWindow::press(Mutex&, PhoneButton button) {
    if (!enabled(button)) return;
    if (isHookKey(button)) {
        port_.hookKey();
    } else {
        port_.queueKey(buttonInfo(button).keyCode);
    }
}

}  // namespace vorpel
