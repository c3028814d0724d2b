#include "app/phone_app.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "../signalling/engine_fakes.h"
#include "shell_fakes.h"

namespace vorpel {
namespace {

using namespace vorpel::test;

class PhoneAppTest : public ::testing::Test {
protected:
    PhoneAppTest() {
        SettingsRecord stored;
        SettingsForm form;
        form.address = u"127.0.0.1";
        form.account = u"4711";
        form.password = u"twelve-chars";
        ConfigSnapshot unused;
        form.store(stored, unused);
        store.text = encodeNibbleText(stored);
        app.setShutdownPause([this] { timer.fire(); });
    }

    // Runs the program; script steps run one per idle turn of the loop, then the user quits.
    ExitStatus run(std::vector<std::function<void()>> steps) {
        size_t next = 0;
        shell.idle = [this, steps, next]() mutable {
            if (next < steps.size()) {
                steps[next++]();
            } else {
                app.accept();
            }
            return true;
        };
        return app.runTerminal();
    }
    std::function<void()> ticks(int n) {
        return [this, n] {
            for (int i = 0; i < n; ++i) timer.fire();
        };
    }
    size_t logoffsSent() const {
        return std::count_if(ports.frames.begin(), ports.frames.end(),
                             [](const auto& f) { return f.size() == 3 && f[0] == 0x01; });
    }
    size_t indexOf(const std::string& entry) const {
        return static_cast<size_t>(std::find(journal.begin(), journal.end(), entry) - journal.begin());
    }
    size_t count(const std::string& entry) const { return std::count(journal.begin(), journal.end(), entry); }
    RegState regState() const { return engine.state().regState; }

    Journal journal;
    testing::RecordingPorts ports{journal};
    FakeKeyAgreement keys = FakeKeyAgreement::withoutKeyPairs();
    SignallingEngine engine{ports, keys};
    Mutex engineLock;
    FakeShell shell{journal};
    SettingsRecord record;
    MemoryStore store{journal};
    ManualTimer timer{journal};
    PhoneApp app{ShellParts{engineLock, engine, shell, shell, record, store, timer, shell, shell}};
};

// Shutdown in its fixed order, the timer killed after four tick changes;
// the store is written once, at exit; the accept and the window's
// destruction both log off.
TEST_F(PhoneAppTest, OrderlyLifeFromStartToShutdown) {
    EXPECT_EQ(run({ticks(2)}), ExitStatus::Orderly);
    EXPECT_EQ(regState(), RegState::Registering);
    EXPECT_EQ(shell.driverTicks, 2);
    EXPECT_FALSE(shell.view.enabled[0]);  // the first tick greyed everything out
    EXPECT_EQ(logoffsSent(), 2u);
    const char* order[] = {"startSockets", "timer create 100", "driver init", "driver close",
                           "store write",  "closeVoice",       "timer kill",  "closeSignalling"};
    for (size_t i = 1; i < std::size(order); ++i)
        EXPECT_LT(indexOf(order[i - 1]), indexOf(order[i])) << order[i];
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(app.rawTickCount(), 2u + 4u);
    EXPECT_EQ(count("settings missing"), 0u) << "only at a first start";
}

TEST_F(PhoneAppTest, StartupFailuresEndTheProgramInOrder) {
    const auto runFresh = [&] {
        journal.clear();
        store.writes = 0;
        PhoneApp fresh{ShellParts{engineLock, engine, shell, shell, record, store, timer, shell, shell}};
        fresh.setShutdownPause([&] { timer.fire(); });
        return fresh.runTerminal();
    };
    shell.socketsStart = false;
    EXPECT_EQ(runFresh(), ExitStatus::Failed);
    EXPECT_EQ(journal, (Journal{"startSockets", "message Windows sockets initialization failed."}));

    shell.socketsStart = true;
    timer.createResult = false;  // no window, nothing saved
    EXPECT_EQ(runFresh(), ExitStatus::Failed);
    EXPECT_EQ(journal.back(), "message Media timer initialization failed.");
    EXPECT_EQ(store.writes + count("driver init"), 0u);

    timer.createResult = true;
    shell.driverInit = false;  // the close request ends the run by itself
    EXPECT_EQ(runFresh(), ExitStatus::Failed);
    EXPECT_LT(indexOf("message Sount initialization fault!"), indexOf("driver close"));
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(journal.back(), "closeSignalling");
}

// The about box and the other dialogs hold the tick guard: the timer's
// ticks count but neither the driver nor the engine runs.
TEST_F(PhoneAppTest, DialogsHoldTheTickGuard) {
    uint32_t engineTicks = 0;
    shell.duringDialog = [&] {
        EXPECT_EQ(app.tickGuard(), 1);
        engineTicks = engine.state().engineTicks;
        ticks(5)();
        EXPECT_EQ(engine.state().engineTicks, engineTicks);
    };
    TagForm tags;
    tags.texts[0] = u"tag";
    shell.tagAnswer = tags;
    run({ticks(20),
         [&] {
             app.command(IDM_ABOUT);
             EXPECT_EQ(regState(), RegState::Registering);  // no restart, no logoff
             EXPECT_EQ(logoffsSent(), 0u);
         },
         [&] { app.command(IDM_TAGUPD); }, [&] { app.command(12345); }});
    EXPECT_EQ(shell.driverTicks, 20);
    EXPECT_EQ(record.text(TAG_FIELDS_OFFSET, 16), "tag");
    EXPECT_EQ(store.writes, 2);
}

TEST_F(PhoneAppTest, CancelledSettingsStillLogOffAndRestartTheEngine) {
    run({ticks(3),
         [&] {
             app.command(IDM_SETTINGS);  // cancelled
             EXPECT_EQ(regState(), RegState::Validate);
             EXPECT_EQ(logoffsSent(), 1u);
             EXPECT_EQ(store.writes, 0);
         },
         ticks(1), [&] { EXPECT_EQ(regState(), RegState::Registering); }});
    EXPECT_LT(indexOf("closeSignalling"), indexOf("settings dialog"));
}

TEST_F(PhoneAppTest, FirstStartWithoutValidSettingsAsksOnceAndOpensTheDialogWhenTheHostWantsIt) {
    store.text.clear();
    shell.openSettings = true;
    run({ticks(1), ticks(3)});  // the cancelled dialog leaves the settings invalid: no second ask
    EXPECT_EQ(count("settings missing"), 1u);
    EXPECT_LT(indexOf("settings missing"), indexOf("settings dialog"));
    EXPECT_EQ(regState(), RegState::SettingsInvalid);
}

}  // namespace
}  // namespace vorpel
