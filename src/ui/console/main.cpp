// vorpel-console: the terminal with a line-oriented phone window. Commands on
// standard input, events on standard output (see console_command.h and
// console_event_writer.h); settings in the store of application name
// "vorpel-console".
//
// Exit status: 0 after an orderly end, 1 when the terminal could not start or
// ended on a fault, 2 for a bad command line, 255 when another instance runs
// for the same user.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/close_requests.h"
#include "app/phone_app.h"
#include "app/protocol_trace.h"
#include "app/terminal.h"
#include "platform/instance_lock.h"
#include "platform/kernel_random_draw.h"
#include "platform/poll_event_loop.h"
#include "platform/posix_udp_socket.h"
#include "platform/power.h"
#include "platform/realtime_audio_thread.h"
#include "platform/settings_file_store.h"
#include "platform/thread_periodic_timer.h"
#include "ui/console/codec_report.h"
#include "ui/console/console_event_writer.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_options.h"
#include "ui/console/wave_devices.h"

namespace vorpel {
namespace {

constexpr std::string_view APPLICATION_NAME = "vorpel-console";

// The audio devices' starts and stops, and the call's counts when its voice
// ends. Called from the audio driver's start and stop, one at a time.
class ConsoleAudio final : public AudioActivityListener {
public:
    ConsoleAudio(ConsoleEventWriter& writer, MediaPath& media) : writer_(writer), media_(media) {}
    void audioActivity(AudioMode mode) override {
        writer_.audio(mode);
        if (inCall_ && mode != AudioMode::Voice) writer_.stats(media_.statistics());
        inCall_ = mode == AudioMode::Voice;
    }

private:
    ConsoleEventWriter& writer_;
    MediaPath& media_;
    bool inCall_ = false;
};

int runConsole(const ConsoleOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);
    // One instance per executable and user.
    const auto instance = acquireInstanceLock();
    if (!instance) {
        std::fprintf(stderr, "vorpel-console: already running for this user\n");
        return 255;
    }
    CloseRequests closeRequests;
    ConsoleEventWriter writer(stdout);

    WaveDevices devices = openWaveDevices(options, APPLICATION_NAME);
    std::fputs(devices.notice.c_str(), stderr);
    WaveCaptureDevice& capture = *devices.capture;
    WavePlaybackDevice& playback = *devices.playback;

    PollEventLoop loop;
    ThreadPeriodicTimer timer;
    PosixUdpSocketFactory sockets(loop);
    Backlight backlight;
    RealtimeAudioThread audioThread;
    KernelRandomDraw randomDraw;
    SettingsFileStore store(APPLICATION_NAME);
    ThreadPeriodicTimer traceTimer;
    std::unique_ptr<ProtocolTrace> trace;
    if (!openTrace(options, traceTimer, APPLICATION_NAME, trace)) return 1;
    Terminal terminal(TerminalPlatform{loop, sockets, capture, playback, audioThread, backlight, randomDraw,
                                       &resetIdleTimer});
    terminal.setTraceSink(trace.get());
    ConsoleFrontEnd frontEnd(writer, loop, STDIN_FILENO);
    PhoneApp app(ShellParts{terminal.engineLock(), terminal.engine(), terminal.audioDriver(), terminal,
                            terminal.record(), store, timer, loop, frontEnd});
    ConsoleAudio audio(writer, terminal.media());
    frontEnd.setCallStatistics([&terminal] { return terminal.media().statistics(); });
    frontEnd.setDeviceChooser([&devices](const DeviceCommand& c) {
        std::fputs(chooseSoundDevice(devices, c.capture, c.name, APPLICATION_NAME).c_str(), stderr);
    });
    terminal.attachWindow(&app);
    terminal.setAudioListener(&audio);
    frontEnd.attach(app);
    closeRequests.watch(loop, app);

    const int status = static_cast<int>(app.runTerminal());
    terminal.attachWindow(nullptr);
    terminal.setAudioListener(nullptr);
    reportCodecWarnings(stderr, APPLICATION_NAME, terminal.media().codecWarnings());
    writer.exit(status);
    return status;
}

}  // namespace
}  // namespace vorpel

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = vorpel::parseConsoleOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "vorpel-console: %s\n%s", error.c_str(), vorpel::CONSOLE_USAGE.data());
        return 2;
    }
    if (options->help) {
        std::fputs(vorpel::CONSOLE_USAGE.data(), stdout);
        return 0;
    }
    return vorpel::runConsole(*options);
}
