#include "app/phone_app.h"

#include <chrono>
#include <thread>

namespace vorpel {

PhoneApp::PhoneApp(const ShellParts& parts) : parts_(parts) {
    shutdownPause_ = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
}

ExitStatus PhoneApp::runTerminal() {
    if (!parts_.services.startSockets()) {
        parts_.host.showMessage(SOCKETS_FAILED_TEXT);
        return ExitStatus::Failed;
    }
    {
        const MutexLock lock(parts_.engineLock);
        parts_.engine.initEngine();
        loadSettings(parts_.store, parts_.record, parts_.engine.state().config);
    }
    tickWindow_.store(false, std::memory_order_release);
    tickGuard_.store(1, std::memory_order_release);
    if (!parts_.timer.create(MEDIA_TIMER_PERIOD_MS, *this)) {
        parts_.host.showMessage(TIMER_FAILED_TEXT);
        return ExitStatus::Failed;
    }
    parts_.loop.setMessageHandler(this);
    initWindow();
    parts_.loop.run();  // the modal run of the phone window
    destroyWindow();
    parts_.audioDriver.close();  // also when its init failed
    saveSettings(parts_.store, parts_.record);
    {
        const MutexLock lock(parts_.engineLock);
        parts_.services.closeVoiceSocket();
    }
    waitForTicks(4);  // a tick body that was running has ended
    parts_.timer.kill();
    {
        const MutexLock lock(parts_.engineLock);
        parts_.services.closeSignallingSocket();
    }
    parts_.loop.setMessageHandler(nullptr);
    return failed_ ? ExitStatus::Failed : ExitStatus::Orderly;
}

void PhoneApp::initWindow() {
    if (!parts_.audioDriver.init()) {
        parts_.host.showMessage(SOUND_FAILED_TEXT);
        failed_ = true;
        parts_.loop.quit();  // the window closes as soon as its loop runs
    }
    window_.setTitle(PHONE_WINDOW_TITLE);
    tickWindow_.store(true, std::memory_order_release);
    tickGuard_.store(0, std::memory_order_release);
    parts_.host.viewChanged(window_.view());
}

void PhoneApp::destroyWindow() {
    tickWindow_.store(false, std::memory_order_release);
    const MutexLock lock(parts_.engineLock);
    parts_.engine.sendLogoff();
}

void PhoneApp::onTimer() {
    rawTickCount_.fetch_add(1, std::memory_order_acq_rel);
    if (!tickWindow_.load(std::memory_order_acquire)) return;
    if (tickGuard_.fetch_add(1, std::memory_order_acq_rel) == 0) {
        parts_.audioDriver.tick();
        tickBodyCount_.fetch_add(1, std::memory_order_acq_rel);
        {
            const MutexLock lock(parts_.engineLock);
            parts_.engine.engineTick();
        }
        parts_.loop.post(LoopMessage{WM_PHONE_TICK});
    }
    tickGuard_.fetch_sub(1, std::memory_order_acq_rel);
}

void PhoneApp::handleMessage(const LoopMessage& message) {
    if (message.id == WM_PHONE_TICK) onPhoneTick();
}

void PhoneApp::onPhoneTick() {
    bool settingsMissing = false;
    {
        const MutexLock lock(parts_.engineLock);
        window_.tick(parts_.engineLock, parts_.engine.state(),
                     PhoneTickInputs{rawTickCount(), tickBodyCount(), parts_.record.keepAwake(),
                                     parts_.engine.audioMode()});
        const RegState state = parts_.engine.state().regState;
        if (!settingsChecked_ && state != RegState::Validate) {
            // Once per program run: a first start with nothing stored.
            settingsChecked_ = true;
            settingsMissing = state == RegState::SettingsInvalid;
        }
    }
    parts_.host.viewChanged(window_.view());
    if (settingsMissing && parts_.host.settingsMissing()) command(IDM_SETTINGS);
}

void PhoneApp::keyDown(uint8_t virtualKey) {
    {
        const MutexLock lock(parts_.engineLock);
        window_.keyDown(parts_.engineLock, virtualKey);
    }
    parts_.host.viewChanged(window_.view());
}

void PhoneApp::press(PhoneButton button) {
    const MutexLock lock(parts_.engineLock);
    window_.press(parts_.engineLock, button);
}

void PhoneApp::accept() {
    {
        const MutexLock lock(parts_.engineLock);
        parts_.engine.sendLogoff();
    }
    parts_.loop.quit();
}

void PhoneApp::closeWindow() { parts_.loop.quit(); }

void PhoneApp::command(uint32_t id) {
    switch (id) {
    case IDM_SETTINGS:
        restartAround([this] {
            SettingsForm form = SettingsForm::load(parts_.record);
            if (!parts_.host.runSettingsDialog(form)) return false;
            const MutexLock lock(parts_.engineLock);
            form.store(parts_.record, parts_.engine.state().config);
            return true;
        });
        break;
    case IDM_TAGUPD:
        restartAround([this] {
            TagForm form = TagForm::load(parts_.record);
            if (!parts_.host.runTagDialog(form)) return false;
            form.store(parts_.record);
            return true;
        });
        break;
    case IDM_ABOUT:
        tickGuard_.fetch_add(1, std::memory_order_acq_rel);
        parts_.host.runAboutDialog();
        tickGuard_.fetch_sub(1, std::memory_order_acq_rel);
        break;
    default:
        break;
    }
}

void PhoneApp::restartAround(const std::function<bool()>& runDialog) {
    tickGuard_.fetch_add(1, std::memory_order_acq_rel);
    {
        const MutexLock lock(parts_.engineLock);
        parts_.engine.sendLogoff();
        parts_.services.closeVoiceSocket();
        parts_.services.closeSignallingSocket();
    }
    // The engine is paused (tick guard held, sockets closed), so the dialog
    // may write the record and the snapshot without the lock.
    if (runDialog()) {
        // Accepted settings reach the store at once, not only at an orderly
        // exit, so that a crash or power loss does not lose them.
        saveSettings(parts_.store, parts_.record);
    }
    {
        const MutexLock lock(parts_.engineLock);
        parts_.engine.initEngine();
        parts_.record.copyTo(parts_.engine.state().config);
    }
    // A socket fault is over: the restart sets the socket up again.
    setWindowTitle(PHONE_WINDOW_TITLE);
    tickGuard_.fetch_sub(1, std::memory_order_acq_rel);
}

void PhoneApp::waitForTicks(unsigned changes) {
    uint32_t seen = rawTickCount();
    unsigned counted = 0;
    while (counted < changes) {
        shutdownPause_();
        const uint32_t now = rawTickCount();
        if (now != seen) {
            ++counted;  // several ticks between two reads count as one change, as in a poll
            seen = now;
        }
    }
}

void PhoneApp::setWindowTitle(std::string_view title) {
    window_.setTitle(title);
    parts_.host.viewChanged(window_.view());
}

void PhoneApp::showMessage(std::string_view text) { parts_.host.showMessage(text); }

void PhoneApp::cancelWindow() {
    failed_ = true;
    parts_.loop.quit();
}

void PhoneApp::raisePhoneWindow() {
    if (phoneWindowExists()) parts_.host.raiseWindow();
}

}  // namespace vorpel
