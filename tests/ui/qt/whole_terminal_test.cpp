// The whole terminal behind the phone window, talking UDP to a scripted
// server on a loopback address of its own: registration, an idle display, a
// ringing call and a call in progress, each saved as a PNG under
// build/screenshots for review; and a server name that cannot be found. The
// media timer is fired by the test; the
// sockets, the engine, the media path and the audio thread are the real ones
// (file audio on /dev/null).
#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <optional>

#include "app/phone_app.h"
#include "app/terminal.h"
#include "platform/file_wave_device.h"
#include "platform/kernel_random_draw.h"
#include "platform/posix_udp_socket.h"
#include "platform/power.h"
#include "platform/realtime_audio_thread.h"
#include "scripted_server.h"
#include "shell_fakes.h"
#include "ui/qt/phone_dialog.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/qt_event_loop.h"
#include "window_fixture.h"

namespace vorpel {
namespace {

using namespace std::chrono_literals;
using e2e::Bytes;
using e2e::ScriptedServer;
using e2e::UdpEndpoint;

constexpr auto STEP = 5s;

Bytes melody() {
    Bytes element{0x50, 34, 0x01};
    for (uint8_t i = 0; i < 32; ++i) element.push_back(static_cast<uint8_t>(0x40 | (i % 8)));
    return element;
}

class WholeTerminalTest : public ::testing::Test {
protected:
    WholeTerminalTest() {
        store.text = test::storedAccount(QString::fromStdString(server.address()).toStdU16String());
        host.attachWindow(&window);
        terminal.attachWindow(&app);
        app.setShutdownPause([this] { timer.fire(); });
    }
    ~WholeTerminalTest() override { terminal.attachWindow(nullptr); }

    // Lets the terminal run (ticks and socket notifications) until the
    // server receives a datagram that match accepts.
    std::optional<Bytes> await(const std::function<bool(const Bytes&)>& match) {
        const auto deadline = std::chrono::steady_clock::now() + STEP;
        while (std::chrono::steady_clock::now() < deadline) {
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
    std::vector<std::string> shownLines() const {
        std::vector<std::string> lines;
        for (int i = 0; i < window.displayList()->count(); ++i)
            lines.push_back(window.displayList()->item(i)->text().toStdString());
        return lines;
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

TEST_F(WholeTerminalTest, RegisteredIdleRingingAndInACall) {
    ASSERT_FALSE(server.address().empty()) << "no loopback address free for the scripted server";
    QTimer::singleShot(0, &window, [this] {
        // Registration and connection over the real sockets.
        ASSERT_TRUE(await(ScriptedServer::isRegistrationRequest));
        server.sendRegistrationReply(0x1234);
        ASSERT_TRUE(await(ScriptedServer::isConnectRequest));
        server.sendConnectConfirm();
        ASSERT_TRUE(await(ScriptedServer::isDataFrame));  // the announce

        server.sendDataFrame(
            ScriptedServer::displayRow(0, "Vorpel 4711    Sun 06 DecHome                11:34"));
        server.sendDataFrame(ScriptedServer::displayRow(3, "Calls  Directory   Menu"));
        server.sendDataFrame(ScriptedServer::indicators({{9, 3}}));
        settle();
        EXPECT_EQ(shownLines(),
                  (std::vector<std::string>{"Vorpel 4711    Sun 06 Dec", "Home                11:34",
                                            "Calls  Directory   Menu  "}));
        EXPECT_TRUE(window.button(PhoneButton::Yes)->isEnabled());
        EXPECT_FALSE(window.button(PhoneButton::No)->isEnabled());
        EXPECT_TRUE(window.lamp(1)->isEnabled());
        test::saveScreenshot(window, "phone_registered_idle");

        // A call comes in: the server's text, a fast-blinking lamp and the
        // ring melody, which brings the window to the front.
        QWidget elsewhere;  // another program's window has the focus
        elsewhere.show();
        elsewhere.activateWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == &elsewhere; }));
        const int notificationsBefore = host.notificationsSent();
        server.sendDataFrame(ScriptedServer::displayRow(1, "Incoming call from       4712 Reception"));
        Bytes ringing = ScriptedServer::indicators({{24, 1}});
        const Bytes tune = melody();
        ringing.insert(ringing.end(), tune.begin(), tune.end());
        server.sendDataFrame(ringing);
        settle(2);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Melody);
        EXPECT_EQ(host.notificationsSent(), notificationsBefore + 1);
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &window; }));
        elsewhere.hide();
        EXPECT_EQ(shownLines()[1], "Home                11:34");  // row 1 holds lines 2 and 3
        server.sendDataFrame(ScriptedServer::displayRow(0, "Incoming call from       4712 Reception"));
        settle(2);
        EXPECT_EQ(shownLines()[0], "Incoming call from       ");
        EXPECT_EQ(shownLines()[1], "4712 Reception           ");
        test::saveScreenshot(window, "phone_ringing");

        // Answered: the server opens the voice channel and starts voice.
        UdpEndpoint voice(server.address(), 0);
        ASSERT_TRUE(voice.ok());
        Bytes answer = ScriptedServer::voiceChannel(voice.port(), 0);
        const Bytes start = ScriptedServer::audioControl(0);
        const Bytes lamps = ScriptedServer::indicators({{24, 3}});
        answer.insert(answer.end(), start.begin(), start.end());
        answer.insert(answer.end(), lamps.begin(), lamps.end());
        server.sendDataFrame(answer);
        server.sendDataFrame(
            ScriptedServer::displayRow(0, "Connected 4712 Reception Duration         00:01"));
        settle(3);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Voice);
        EXPECT_TRUE(window.button(PhoneButton::No)->isEnabled());
        EXPECT_TRUE(window.button(PhoneButton::No)->isDefault());  // the focus moved to "No"
        EXPECT_FALSE(window.button(PhoneButton::Yes)->isEnabled());
        EXPECT_TRUE(voice.receive(3s).has_value()) << "no voice packet from the terminal";
        test::saveScreenshot(window, "phone_in_call");

        // Hanging up with "No" releases the call.
        window.button(PhoneButton::No)->click();
        settle(2);
        EXPECT_EQ(terminal.engine().audioMode(), AudioMode::Idle);
        EXPECT_TRUE(window.button(PhoneButton::Yes)->isEnabled());
        app.accept();
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
}

TEST_F(WholeTerminalTest, AServerThatCannotBeFoundShowsSocketFaultInTheTitle) {
    store.text = test::storedAccount(u"no-such-host.invalid");
    QTimer::singleShot(0, &window, [this] {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (window.windowTitle() != "Socket Fault" && std::chrono::steady_clock::now() < deadline) {
            timer.fire();
            QCoreApplication::processEvents();
        }
        EXPECT_EQ(window.windowTitle(), "Socket Fault");
        EXPECT_TRUE(host.openMessages().empty());  // the title says it; no box
        app.accept();
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
}

}  // namespace
}  // namespace vorpel
