// Fakes for the shell's ports, driven in virtual time: the timer fires when
// the test says so, and the loop runs a script whenever it has nothing queued.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/dialog_host.h"
#include "app/shell_services.h"
#include "media/audio_driver.h"
#include "platform/event_loop.h"
#include "platform/periodic_timer.h"
#include "settings/settings_store.h"
#include "signalling/engine.h"

namespace vorpel::test {

// Every call of every fake, in order, so tests can check the shell's sequence.
using Journal = std::vector<std::string>;

struct MemoryStore : SettingsStore {
    explicit MemoryStore(Journal& j) : journal(j) {}
    std::string read() override { return text; }
    bool write(std::string_view t) override {
        journal.push_back("store write");
        text = t;
        ++writes;
        return true;
    }
    Journal& journal;
    std::string text;
    int writes = 0;
};

struct ManualTimer : PeriodicTimer {
    explicit ManualTimer(Journal& j) : journal(j) {}
    bool create(uint32_t periodMs, TimerCallback& cb) override {
        journal.push_back("timer create " + std::to_string(periodMs));
        if (!createResult) return false;
        callback = &cb;
        return true;
    }
    void kill() override {
        journal.push_back("timer kill");
        callback = nullptr;
    }
    // One 100-ms period of virtual time.
    void fire() {
        if (callback != nullptr) callback->onTimer();
    }
    Journal& journal;
    bool createResult = true;
    TimerCallback* callback = nullptr;
};

// The shell's other ports in one: audio driver, socket services, dialogs
// and an event loop that, when nothing is queued, calls idle(), which
// advances virtual time or acts as the user (false ends the run).
struct FakeShell final : AudioDriver, ShellServices, DialogHost, EventLoop {
    explicit FakeShell(Journal& j) : journal(j) {}
    bool init() override { return log("driver init", driverInit); }
    void close() override { journal.push_back("driver close"); }
    void tick() override { ++driverTicks; }
    bool startSockets() override { return log("startSockets", socketsStart); }
    bool ensureSignallingSocket() override { return true; }
    void closeVoiceSocket() override { journal.push_back("closeVoice"); }
    void closeSignallingSocket() override { journal.push_back("closeSignalling"); }
    void resetIdleTimer() override {}
    bool runSettingsDialog(SettingsForm& form) override {
        return dialog("settings dialog", settingsAnswer, form);
    }
    bool runTagDialog(TagForm& form) override { return dialog("tag dialog", tagAnswer, form); }
    void runAboutDialog() override {
        std::optional<int> none;
        int unused = 0;
        dialog("about dialog", none, unused);
    }
    void showMessage(std::string_view text) override { journal.push_back("message " + std::string(text)); }
    void viewChanged(const PhoneWindowView& v) override { view = v; }
    void raiseWindow() override {}
    bool settingsMissing() override { return log("settings missing", openSettings); }
    void setMessageHandler(LoopMessageHandler* h) override { handler = h; }
    bool post(const LoopMessage& m) override {
        queue.push_back(m);
        return true;
    }
    bool watchFd(int, FdHandler, void*) override { return true; }
    void armReadable(int) override {}
    void armWritable(int) override {}
    void unwatchFd(int) override {}
    bool run() override {
        while (!quitRequested) {
            if (!queue.empty()) {
                const LoopMessage m = queue.front();
                queue.pop_front();
                if (handler != nullptr) handler->handleMessage(m);
            } else if (!idle || !idle()) {
                break;
            }
        }
        quitRequested = false;
        return true;
    }
    void quit() override { quitRequested = true; }

    bool log(const char* call, bool result) {
        journal.push_back(call);
        return result;
    }
    template <typename Form>
    bool dialog(const char* name, const std::optional<Form>& answer, Form& form) {
        journal.push_back(name);
        if (duringDialog) duringDialog();
        if (answer) form = *answer;
        return answer.has_value();
    }

    Journal& journal;
    bool driverInit = true, socketsStart = true, openSettings = false, quitRequested = false;
    int driverTicks = 0;
    std::optional<SettingsForm> settingsAnswer;
    std::optional<TagForm> tagAnswer;
    std::function<void()> duringDialog;
    std::function<bool()> idle;
    PhoneWindowView view;
    LoopMessageHandler* handler = nullptr;
    std::deque<LoopMessage> queue;
};

}  // namespace vorpel::test
