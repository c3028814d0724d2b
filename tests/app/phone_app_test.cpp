#include "app/phone_app.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "shell_fakes.h"

namespace vorpel {
namespace {

using namespace vorpel::test;

constexpr uint8_t LOGOFF = 0x01;

class PhoneAppTest : public ::testing::Test {
protected:
    PhoneAppTest() {
        SettingsRecord stored;
        SettingsForm form;
        form.address = u"127.0.0.1";
        form.account = u"4711";
        form.auth = u"auth";
        form.password = u"twelve-chars";
        ConfigSnapshot unused;
        form.store(stored, unused);
        store.text = encodeNibbleText(stored);
        app.setShutdownPause([this] { timer.fire(); });
    }

    // Runs the program; script steps run one per idle turn of the loop, then the user quits.
    ExitStatus run(std::vector<std::function<void()>> steps) {
        size_t next = 0;
        loop.idle = [this, steps, next]() mutable {
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
                             [](const auto& f) { return f.size() == 3 && f[0] == LOGOFF; });
    }
    size_t indexOf(const std::string& entry) const {
        auto it = std::find(journal.begin(), journal.end(), entry);
        EXPECT_NE(it, journal.end()) << entry;
        return static_cast<size_t>(it - journal.begin());
    }
    RegState regState() const { return engine.state().regState; }

    Journal journal;
    RecordingEnginePorts ports{journal};
    FakeKeyAgreement keys = FakeKeyAgreement::withoutKeyPairs();
    SignallingEngine engine{ports, keys};
    Mutex engineLock;
    RecordingDriver driver{journal, engine};
    RecordingServices services{journal};
    SettingsRecord record;
    MemoryStore store{journal};
    ManualTimer timer{journal};
    ScriptedLoop loop;
    ScriptedHost host{journal};
    PhoneApp app{ShellParts{engineLock, engine, driver, services, record, store, timer, loop, host}};
};

TEST_F(PhoneAppTest, OrderlyLifeFromStartToShutdown) {
    EXPECT_EQ(run({ticks(2)}), ExitStatus::Orderly);
    EXPECT_EQ(regState(), RegState::Registering);
    EXPECT_EQ(driver.ticks, 2);
    EXPECT_EQ(services.ensureCalls, 2);
    EXPECT_FALSE(host.view.enabled[0]);  // the first tick greyed everything out
    // The accept and the window's destruction both log off.
    EXPECT_EQ(logoffsSent(), 2u);
    // Shutdown in its fixed order; the store is written once, at exit.
    EXPECT_LT(indexOf("startSockets"), indexOf("timer create 100"));
    EXPECT_LT(indexOf("timer create 100"), indexOf("driver init"));
    EXPECT_LT(indexOf("driver init"), indexOf("driver close"));
    EXPECT_LT(indexOf("driver close"), indexOf("store write"));
    EXPECT_LT(indexOf("store write"), indexOf("closeVoice"));
    EXPECT_LT(indexOf("closeVoice"), indexOf("timer kill"));
    EXPECT_LT(indexOf("timer kill"), indexOf("closeSignalling"));
    EXPECT_EQ(store.writes, 1);
    EXPECT_FALSE(app.phoneWindowExists());
}

TEST_F(PhoneAppTest, ShutdownWaitsForFourTickChangesBeforeKillingTheTimer) {
    run({});
    // Every pause fired one tick; the kill came after exactly four of them.
    EXPECT_EQ(app.rawTickCount(), 4u);
    EXPECT_EQ(app.tickBodyCount(), 0u);  // the window was gone: only raw ticks
}

TEST_F(PhoneAppTest, TickBodyRunsDriverThenEngineThenPostsTheMessage) {
    run({[this] {
        ticks(3)();
        EXPECT_EQ(loop.queue.size(), 3u);
        EXPECT_EQ(loop.queue.front().id, WM_PHONE_TICK);
    }});
    EXPECT_EQ(driver.engineTicksAtDriverTick, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(app.tickBodyCount(), 3u);
}

TEST_F(PhoneAppTest, TicksBeforeTheWindowIsReadyOnlyCount) {
    timer.createResult = true;
    loop.idle = nullptr;
    // Fire from inside create: the window does not exist yet.
    struct FiringTimer : ManualTimer {
        using ManualTimer::ManualTimer;
        bool create(uint32_t p, TimerCallback& cb) override {
            ManualTimer::create(p, cb);
            for (int i = 0; i < 3; ++i) fire();
            return true;
        }
    } firing{journal};
    PhoneApp early{ShellParts{engineLock, engine, driver, services, record, store, firing, loop, host}};
    early.setShutdownPause([&] { firing.fire(); });
    loop.idle = [&] {
        EXPECT_EQ(early.rawTickCount(), 3u);
        EXPECT_EQ(early.tickBodyCount(), 0u);
        EXPECT_EQ(early.tickGuard(), 0);
        early.accept();
        return true;
    };
    EXPECT_EQ(early.runTerminal(), ExitStatus::Orderly);
    EXPECT_EQ(driver.ticks, 0);
}

TEST_F(PhoneAppTest, SocketStartupFailureEndsBeforeAnythingElse) {
    services.startResult = false;
    EXPECT_EQ(app.runTerminal(), ExitStatus::Failed);
    EXPECT_EQ(journal, (Journal{"startSockets", "message Windows sockets initialization failed."}));
}

TEST_F(PhoneAppTest, TimerFailureShowsNoWindowAndSavesNothing) {
    timer.createResult = false;
    EXPECT_EQ(app.runTerminal(), ExitStatus::Failed);
    EXPECT_EQ(journal.back(), "message Media timer initialization failed.");
    EXPECT_EQ(store.writes, 0);
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "driver init"), 0);
}

TEST_F(PhoneAppTest, AudioFailureClosesTheWindowButStillShutsDownInOrder) {
    driver.initResult = false;
    loop.idle = [] { return false; };  // the close request ends the run by itself
    EXPECT_EQ(app.runTerminal(), ExitStatus::Failed);
    EXPECT_LT(indexOf("message Sount initialization fault!"), indexOf("driver close"));
    EXPECT_EQ(store.writes, 1);
    EXPECT_EQ(journal.back(), "closeSignalling");
}

TEST_F(PhoneAppTest, AboutPausesTheTickWithoutTouchingTheEngine) {
    host.duringDialog = [this] {
        for (int i = 0; i < 5; ++i) timer.fire();
    };
    uint32_t engineTicksBefore = 0, rawBefore = 0;
    run({ticks(20),
         [&] {
             engineTicksBefore = engine.state().engineTicks;
             rawBefore = app.rawTickCount();
             app.command(IDM_ABOUT);
         },
         [&] {
             EXPECT_EQ(app.rawTickCount(), rawBefore + 5);
             EXPECT_EQ(engine.state().engineTicks, engineTicksBefore);
             EXPECT_EQ(regState(), RegState::Registering);  // no restart
             EXPECT_EQ(app.tickGuard(), 0);
         },
         ticks(1), [&] { EXPECT_EQ(engine.state().engineTicks, engineTicksBefore + 1); }});
    EXPECT_EQ(driver.ticks, 21);
    EXPECT_EQ(logoffsSent(), 2u);  // only the two at exit
}

TEST_F(PhoneAppTest, CancelledSettingsStillLogOffAndRestartTheEngine) {
    SettingsRecord before;
    run({ticks(3),
         [&] {
             before = record;
             ASSERT_EQ(regState(), RegState::Registering);
             app.command(IDM_SETTINGS);
             EXPECT_EQ(regState(), RegState::Validate);
             EXPECT_EQ(logoffsSent(), 1u);
             EXPECT_EQ(record.bytes, before.bytes);
             EXPECT_EQ(store.writes, 0);
         },
         ticks(1), [&] { EXPECT_EQ(regState(), RegState::Registering); }});
    EXPECT_LT(indexOf("closeVoice"), indexOf("closeSignalling"));
    EXPECT_LT(indexOf("closeSignalling"), indexOf("settings dialog"));
}

TEST_F(PhoneAppTest, AcceptedSettingsAreStoredAtOnceAndRestartTheEngineWithThem) {
    SettingsForm answer;
    answer.address = u"10.0.0.9";
    answer.account = u"99";
    answer.password = u"short";
    answer.keepAwake = true;
    host.settingsAnswer = answer;
    run({ticks(1), [&] { app.command(IDM_SETTINGS); },
         [&] {
             EXPECT_EQ(store.writes, 1);  // saved when accepted, before any exit
             SettingsRecord saved;
             ASSERT_TRUE(decodeNibbleText(store.text, saved));
             EXPECT_EQ(saved.text(ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET, 63), "10.0.0.9");
             EXPECT_TRUE(saved.keepAwake());
             EXPECT_EQ(engine.state().config.bytes[CFG_ACCOUNT_ID_OFFSET], '9');
         },
         ticks(1), [&] { EXPECT_EQ(regState(), RegState::SettingsInvalid); }});
    EXPECT_EQ(store.writes, 2);  // and again at exit
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "settings missing"), 0) << "only at a first start";
}

TEST_F(PhoneAppTest, FirstStartWithoutValidSettingsAsksOnceAndOpensTheDialogWhenTheHostWantsIt) {
    store.text.clear();
    host.openSettings = true;
    run({ticks(1), ticks(3)});  // the cancelled dialog leaves the settings invalid: no second ask
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "settings missing"), 1);
    EXPECT_LT(indexOf("settings missing"), indexOf("settings dialog"));
    EXPECT_EQ(regState(), RegState::SettingsInvalid);
}

TEST_F(PhoneAppTest, DialogHoldsTheTickGuard) {
    host.duringDialog = [this] {
        EXPECT_EQ(app.tickGuard(), 1);
        const int driverTicks = driver.ticks;
        timer.fire();
        EXPECT_EQ(driver.ticks, driverTicks);
    };
    TagForm tags;
    tags.texts[0] = u"tag";
    host.tagAnswer = tags;
    run({ticks(1), [&] { app.command(IDM_TAGUPD); }, [&] { app.command(12345); }});
    EXPECT_EQ(record.text(TAG_FIELDS_OFFSET, 16), "tag");
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "store write"), 2);
}

TEST_F(PhoneAppTest, CancelWindowEndsTheProgramAsAFailure) {
    EXPECT_EQ(run({ticks(1), [&] { app.cancelWindow(); }}), ExitStatus::Failed);
    EXPECT_EQ(logoffsSent(), 1u);  // only the destruction's
}

}  // namespace
}  // namespace vorpel
