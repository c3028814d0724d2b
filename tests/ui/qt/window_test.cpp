// The phone window over the whole terminal (the real sockets, engine, media
// path and audio thread; file audio on /dev/null; the media timer fired by
// the test), talking UDP to a scripted server: registration, the server's
// screen and lamps, keys, a ringing call that brings the window forward,
// voice started and released with the window's buttons, and new settings
// from the options menu. It saves pictures under build/screenshots for review.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/phone_app.h"
#include "app/terminal.h"
#include "platform/file_wave_device.h"
#include "platform/kernel_random_draw.h"
#include "platform/posix_udp_socket.h"
#include "platform/power.h"
#include "platform/realtime_audio_thread.h"
#include "scripted_server.h"
#include "shell_fakes.h"
#include "ui/qt/desktop_palette.h"
#include "ui/qt/dialogs/settings_dialog.h"
#include "ui/qt/phone_dialog.h"
#include "ui/qt/qt_dialog_host.h"

namespace vorpel {
namespace {

using namespace std::chrono_literals;
using e2e::Bytes;
using e2e::ScriptedServer;

Bytes join(std::initializer_list<Bytes> elements) {
    Bytes all;
    for (const Bytes& e : elements) all.insert(all.end(), e.begin(), e.end());
    return all;
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        const SettingsForm form{QString::fromStdString(server.address()).toStdU16String(), u"4711",
                                u"auth-4711", u"twelve-chars"};
        SettingsRecord stored;
        ConfigSnapshot unused;
        form.store(stored, unused);
        store.text = encodeNibbleText(stored);
        host.attachWindow(&window);
        terminal.attachWindow(&app);
        app.setShutdownPause([this] { timer.fire(); });
    }
    ~WindowTest() override { terminal.attachWindow(nullptr); }

    // Lets the terminal run until the server receives a datagram that match accepts.
    std::optional<Bytes> await(const std::function<bool(const Bytes&)>& match) {
        for (const auto deadline = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < deadline;) {
            timer.fire();
            QCoreApplication::processEvents();
            if (auto datagram = server.expect(match, 10ms)) return datagram;
        }
        return std::nullopt;
    }
    // A few ticks for the window to show what the server sent.
    void settle(int ticks = 3) {
        for (int i = 0; i < ticks; ++i) {
            timer.fire();
            QCoreApplication::processEvents();
            while (server.expect([](const Bytes&) { return true; }, 5ms)) {
            }
        }
    }
    // A key typed at whatever control of the window has the focus.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        QTest::keyClick(target != nullptr && target->window() == &window ? target : &window, key, modifiers);
    }
    std::string shown(int line) const { return window.displayList()->item(line)->text().toStdString(); }
    void picture(const char* name) {
        QDir().mkpath(QStringLiteral(VORPEL_SCREENSHOT_DIR));
        EXPECT_TRUE(
            window.grab().save(QStringLiteral(VORPEL_SCREENSHOT_DIR "/%1.png").arg(QLatin1String(name))));
    }

    ScriptedServer server;
    test::Journal journal;
    QtEventLoop loop;
    PosixUdpSocketFactory sockets{loop};
    FileCaptureDevice capture{"/dev/null"};
    FilePlaybackDevice playback{"/dev/null"};
    Backlight backlight;
    RealtimeAudioThread audioThread;
    KernelRandomDraw randomDraw;
    Terminal terminal{TerminalPlatform{loop, sockets, capture, playback, audioThread, backlight, randomDraw,
                                       &resetIdleTimer}};
    test::MemoryStore store{journal};
    test::ManualTimer timer{journal};
    QtDialogHost host{loop, terminal.record()};
    PhoneApp app{ShellParts{terminal.engineLock(), terminal.engine(), terminal.audioDriver(), terminal,
                            terminal.record(), store, timer, loop, host}};
    PhoneDialog window{app};
};

TEST_F(WindowTest, RegisteredIdleRingingInACallAndNewSettings) {
    ASSERT_TRUE(server.socket().ok()) << "no loopback address free for the scripted server";
    QTimer::singleShot(0, &window, [this] {
        EXPECT_EQ(window.windowTitle(), "Vorpel1.16            ");
        EXPECT_TRUE(window.lamp(0)->isEnabled());  // every lamp lit until the first tick
        ASSERT_TRUE(await(ScriptedServer::isRegistrationRequest));
        server.sendRegistrationReply(0x1234);
        ASSERT_TRUE(await(ScriptedServer::isConnectRequest));
        server.sendConnectConfirm();
        ASSERT_TRUE(await(ScriptedServer::isDataFrame));  // the announce
        server.sendDataFrame(
            join({ScriptedServer::displayRow(0, "Vorpel 4711    Sun 06 DecHome                11:34"),
                  ScriptedServer::displayRow(3, "Calls  Directory   Menu"),
                  ScriptedServer::indicators({{9, 3}})}));
        settle();
        EXPECT_EQ(shown(0), "Vorpel 4711    Sun 06 Dec");
        EXPECT_EQ(shown(1), "Home                11:34");
        EXPECT_EQ(shown(2), "Calls  Directory   Menu  ");
        EXPECT_TRUE(window.lamp(1)->isEnabled());
        EXPECT_FALSE(window.lamp(0)->isEnabled());
        EXPECT_FALSE(window.button(PhoneButton::No)->isEnabled());
        picture("phone_registered_idle");
        type(Qt::Key_5, Qt::KeypadModifier);
        EXPECT_TRUE(
            server.expect([](const Bytes& f) { return f.size() == 9 && f[7] == 0xFB && f[8] == 0xBF; }, 5s));
        window.keypadButton(11)->click();  // "#"
        EXPECT_TRUE(
            server.expect([](const Bytes& f) { return f.size() == 9 && f[7] == 0xF7 && f[8] == 0xFE; }, 5s));

        // A call comes in: a fast-blinking lamp and the ring melody, which
        // brings the window to the front and announces itself.
        QWidget elsewhere;
        elsewhere.show();
        elsewhere.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &elsewhere; }));
        Bytes melody{0x50, 34, 0x01};
        for (uint8_t i = 0; i < 32; ++i) melody.push_back(static_cast<uint8_t>(0x40 | (i % 8)));
        server.sendDataFrame(join({ScriptedServer::displayRow(0, "Incoming call from       4712 Reception"),
                                   ScriptedServer::indicators({{24, 1}}), melody}));
        settle(2);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Melody);
        EXPECT_EQ(host.notificationsSent(), 1);
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &window; }));
        EXPECT_EQ(shown(1), "4712 Reception           ");
        picture("phone_ringing");

        window.button(PhoneButton::Yes)->click();  // the hook key starts voice
        settle(2);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Voice);
        EXPECT_TRUE(window.button(PhoneButton::No)->isDefault());  // the focus moved to "No"
        type(Qt::Key_Return);                                      // which the action key presses
        settle(2);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Idle);

        // Settings from the options menu: accepted, stored and in force at once.
        QTimer::singleShot(0, &window, [] {
            auto* dialog = dynamic_cast<CDSett*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            SettingsForm form = dialog->readForm();
            form.account = u"999";
            dialog->writeForm(form);
            dialog->accept();
        });
        window.optionsMenu()->actions().at(1)->trigger();
        EXPECT_EQ(store.writes, 1);
        const auto request = await(ScriptedServer::isRegistrationRequest);
        ASSERT_TRUE(request);
        EXPECT_EQ(std::string(request->begin() + 3, request->begin() + 6), "999");
        window.okSoftKey()->click();
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
}

TEST_F(WindowTest, AFirstStartWithNothingStoredOpensTheSettingsDialogByItself) {
    store.text.clear();
    host.openSettingsWhenMissing(true);  // as the program does
    bool dialogSeen = false;
    QTimer watcher;  // runs inside the dialog's own loop once it is open
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* dialog = dynamic_cast<CDSett*>(QApplication::activeModalWidget())) {
            dialogSeen = true;
            dialog->reject();
        }
    });
    watcher.start(0);
    QTimer::singleShot(0, &window, [&] {
        settle(2);  // the first tick finds the settings invalid
        EXPECT_TRUE(dialogSeen);
        app.accept();
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
}

TEST_F(WindowTest, OpensAtTheScreensScaleKeepsItsShapeAndItsLampsOnADarkDesktop) {
    EXPECT_EQ(PhoneDialog::initialSize(96), QSize(240, 348));
    EXPECT_EQ(PhoneDialog::initialSize(72), QSize(240, 348));  // never below the handheld's size
    EXPECT_EQ(PhoneDialog::initialSize(192), QSize(480, 696));
    window.show();
    window.resize(600, 428);  // wider than the phone's shape: the phone stays 3:4, centred
    ASSERT_TRUE(QTest::qWaitFor([this] { return window.phoneArea() == QSize(300, 400); }));
    EXPECT_EQ(window.displayList()->geometry().topLeft(), QPoint(150, 0));
    EXPECT_EQ(window.okSoftKey()->parentWidget()->geometry(), QRect(0, 400, 600, 28));

    const QPalette light = QApplication::palette();
    QApplication::setPalette(paletteFor(ColourScheme::Dark, light));
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return window.displayList()->palette().color(QPalette::Base).lightness() < 128; }));
    EXPECT_EQ(window.lamp(0)->grab().toImage().pixelColor(2, 2), IndicatorLamp::litColour());
    EXPECT_GE(paletteFor(ColourScheme::Light, QApplication::palette()).color(QPalette::Window).lightness(),
              128);
    QApplication::setPalette(light);
}

}  // namespace
}  // namespace vorpel
