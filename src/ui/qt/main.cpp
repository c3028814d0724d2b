// vorpel: the terminal with its phone window on the desktop (Qt Widgets).
// Settings in the store of application name "vorpel".
//
// Command line: --capture FILE and --playback FILE put raw 8000-Hz 16-bit
// mono files in place of the sound card, --capture-device NAME and
// --playback-device NAME pick sound devices for this run, --trace FILE writes
// the protocol trace (as for vorpel-console); Qt's own
// options (-platform, -display, ...) are taken as well.
//
// Exit status: 0 after an orderly end, 1 when the terminal could not start or
// ended on a fault, 2 for a bad command line, 255 when another instance runs
// for the same user (its window is brought to the front).
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QIcon>

#include "app/close_requests.h"
#include "app/phone_app.h"
#include "app/protocol_trace.h"
#include "app/terminal.h"
#include "platform/kernel_random_draw.h"
#include "platform/posix_udp_socket.h"
#include "platform/realtime_audio_thread.h"
#include "platform/settings_file_store.h"
#include "platform/thread_periodic_timer.h"
#include "ui/console/codec_report.h"
#include "ui/console/console_options.h"
#include "ui/console/wave_devices.h"
#include "ui/qt/desktop_palette.h"
#include "ui/qt/dialogs/desktop_notifier.h"
#include "ui/qt/dialogs/screen_saver_inhibitor.h"
#include "ui/qt/phone_dialog.h"
#include "ui/qt/qt_dialog_host.h"
#include "ui/qt/qt_event_loop.h"
#include "ui/qt/single_instance.h"

namespace vorpel {
namespace {

constexpr std::string_view APPLICATION_NAME = "vorpel";

constexpr std::string_view USAGE =
    "usage: vorpel [--capture FILE] [--playback FILE] [--capture-device NAME]\n"
    "              [--playback-device NAME] [--trace FILE]\n"
    "Runs the terminal in a phone window on the desktop.\n"
    "--capture FILE and --playback FILE use raw 8000-Hz 16-bit mono files instead of the\n"
    "sound card; with only one of them the other direction is silent or discarded\n"
    "unless a device is named for it.\n"
    "--capture-device NAME and --playback-device NAME use those sound devices (as\n"
    "Options > Sound devices lists them) for this run instead of the stored choice.\n"
    "--trace FILE writes every signalling frame in and out, and the voice packets counted\n"
    "once a second, to FILE.\n";

int runWindow(const ConsoleOptions& options, CloseRequests& closeRequests) {
    std::signal(SIGPIPE, SIG_IGN);
    QtEventLoop loop;
    QtDialogHost* hostForRaise = nullptr;
    SingleInstance instance;
    switch (instance.start([&hostForRaise] {
        if (hostForRaise != nullptr) hostForRaise->bringWindowToFront();
    })) {
    case SingleInstance::Outcome::First:
        break;
    case SingleInstance::Outcome::RaisedAnother:
        return 255;
    case SingleInstance::Outcome::AnotherUnreachable:
        std::fprintf(stderr, "vorpel: already running for this user, but its window did not answer\n");
        return 255;
    }

    WaveDevices devices = openWaveDevices(options, APPLICATION_NAME);
    std::fputs(devices.notice.c_str(), stderr);
    DesktopNotifier notifier;  // a device gone tells the user without holding the start up
    if (!devices.notice.empty())
        notifier.notify(QStringLiteral("Sound device not found"),
                        QString::fromStdString(devices.notice).trimmed());
    WaveCaptureDevice& capture = *devices.capture;
    WavePlaybackDevice& playback = *devices.playback;

    ThreadPeriodicTimer timer;
    PosixUdpSocketFactory sockets(loop);
    ScreenSaverInhibitor backlight;  // outlives the terminal, whose audio driver calls it
    RealtimeAudioThread audioThread;
    KernelRandomDraw randomDraw;
    SettingsFileStore store(APPLICATION_NAME);
    ThreadPeriodicTimer traceTimer;
    std::unique_ptr<ProtocolTrace> trace;
    if (!openTrace(options, traceTimer, APPLICATION_NAME, trace)) return 1;
    Terminal terminal(TerminalPlatform{loop, sockets, capture, playback, audioThread, backlight, randomDraw,
                                       &resetDesktopIdleTimer});
    terminal.setTraceSink(trace.get());
    QtDialogHost host(loop, terminal.record());
    PhoneApp app(ShellParts{terminal.engineLock(), terminal.engine(), terminal.audioDriver(), terminal,
                            terminal.record(), store, timer, loop, host});
    PhoneDialog window(app);
    if (!options.fileAudio()) {
        window.enableSoundDevices(
            std::string(APPLICATION_NAME), [&devices, &notifier](const SoundDeviceChoice& c) {
                const std::string notice = chooseSoundDevice(devices, true, c.capture, APPLICATION_NAME) +
                                           chooseSoundDevice(devices, false, c.playback, APPLICATION_NAME);
                std::fputs(notice.c_str(), stderr);
                if (!notice.empty())
                    notifier.notify(QStringLiteral("Sound device not found"),
                                    QString::fromStdString(notice).trimmed());
            });
    }
    host.attachWindow(&window);
    host.openSettingsWhenMissing(true);  // a first start asks for the account at once
    window.setCallStatistics([&terminal] { return terminal.media().statistics(); },
                             [&terminal] { return terminal.callRunning(); });
    hostForRaise = &host;
    terminal.attachWindow(&app);
    closeRequests.watch(loop, app);

    const int status = static_cast<int>(app.runTerminal());
    hostForRaise = nullptr;
    terminal.attachWindow(nullptr);
    reportCodecWarnings(stderr, APPLICATION_NAME, terminal.media().codecWarnings());
    // A fault's message box stays until it is read; the window, inert by
    // now, goes after it.
    window.setEnabled(false);
    host.waitForMessages();
    host.attachWindow(nullptr);
    window.hide();
    return status;
}

}  // namespace
}  // namespace vorpel

int main(int argc, char** argv) {
    vorpel::CloseRequests closeRequests;   // before Qt starts any thread
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("vorpel"));
    QApplication::setDesktopFileName(QStringLiteral("vorpel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/vorpel/vorpel.png")));
    vorpel::followDesktopColourScheme(QDBusConnection::sessionBus());
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = vorpel::parseConsoleOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "vorpel: %s\n%s", error.c_str(), vorpel::USAGE.data());
        return 2;
    }
    if (options->help) {
        std::fputs(vorpel::USAGE.data(), stdout);
        return 0;
    }
    return vorpel::runWindow(*options, closeRequests);
}
