// Fakes for the shell's ports, driven in virtual time: the timer fires when
// the test says so, and the loop runs a script whenever it has nothing queued.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "../signalling/engine_fakes.h"
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

// The engine's ports: the signalling tests' recording fake, logging into the journal.
using RecordingEnginePorts = testing::RecordingPorts;

struct RecordingDriver : AudioDriver {
    explicit RecordingDriver(Journal& j, const SignallingEngine& e) : journal(j), engine(e) {}
    bool init() override {
        journal.push_back("driver init");
        return initResult;
    }
    void close() override { journal.push_back("driver close"); }
    void tick() override {
        ++ticks;
        engineTicksAtDriverTick.push_back(engine.state().engineTicks);
    }
    Journal& journal;
    const SignallingEngine& engine;
    bool initResult = true;
    int ticks = 0;
    std::vector<uint32_t> engineTicksAtDriverTick;
};

struct RecordingServices : ShellServices {
    explicit RecordingServices(Journal& j) : journal(j) {}
    bool startSockets() override {
        journal.push_back("startSockets");
        return startResult;
    }
    bool ensureSignallingSocket() override {
        ++ensureCalls;
        return ensureResult;
    }
    void closeVoiceSocket() override { journal.push_back("closeVoice"); }
    void closeSignallingSocket() override { journal.push_back("closeSignalling"); }
    void resetIdleTimer() override { journal.push_back("idle"); }
    Journal& journal;
    bool startResult = true;
    bool ensureResult = true;
    int ensureCalls = 0;
};

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

// run() handles queued messages; when none is queued it calls idle(), which
// advances virtual time or acts as the user. A run that finds idle empty ends.
struct ScriptedLoop : EventLoop {
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

    LoopMessageHandler* handler = nullptr;
    std::deque<LoopMessage> queue;
    bool quitRequested = false;
    // Returns false to end the run (the test forgot to quit).
    std::function<bool()> idle;
};

struct ScriptedHost : DialogHost {
    explicit ScriptedHost(Journal& j) : journal(j) {}
    bool runSettingsDialog(SettingsForm& form) override {
        journal.push_back("settings dialog");
        if (duringDialog) duringDialog();
        if (!settingsAnswer) return false;
        form = *settingsAnswer;
        return true;
    }
    bool runTagDialog(TagForm& form) override {
        journal.push_back("tag dialog");
        if (duringDialog) duringDialog();
        if (!tagAnswer) return false;
        form = *tagAnswer;
        return true;
    }
    void runAboutDialog() override {
        journal.push_back("about dialog");
        if (duringDialog) duringDialog();
    }
    void showMessage(std::string_view text) override { journal.push_back("message " + std::string(text)); }
    void viewChanged(const PhoneWindowView& v) override { view = v; }
    void raiseWindow() override { journal.push_back("raise"); }
    bool settingsMissing() override {
        journal.push_back("settings missing");
        return openSettings;
    }

    Journal& journal;
    std::optional<SettingsForm> settingsAnswer;
    std::optional<TagForm> tagAnswer;
    std::function<void()> duringDialog;
    PhoneWindowView view;
    bool openSettings = false;  // what settingsMissing answers
};

}  // namespace vorpel::test
