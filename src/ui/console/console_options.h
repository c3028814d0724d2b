// The command line of both front ends: --capture FILE and --playback FILE put
// the file audio device in place of the sound card (either alone: silence in,
// or output discarded, for the other direction); --capture-device NAME and
// --playback-device NAME pick sound devices for this run over the stored
// choice; --trace FILE writes the protocol trace.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/protocol_trace.h"
#include "platform/periodic_timer.h"

namespace vorpel {

struct ConsoleOptions {
    std::optional<std::string> capture;
    std::optional<std::string> playback;
    std::optional<std::string> captureDevice;
    std::optional<std::string> playbackDevice;
    std::optional<std::string> trace;
    bool help = false;
    bool fileAudio() const { return capture || playback; }
};

// Nothing, with a one-line reason in error, when the command line is bad.
std::optional<ConsoleOptions> parseConsoleOptions(std::span<const std::string_view> args, std::string& error);

// The protocol trace that options ask for, in trace (null without --trace);
// false, after a line on standard error, when its file cannot be written.
bool openTrace(const ConsoleOptions& options, PeriodicTimer& timer, std::string_view program,
               std::unique_ptr<ProtocolTrace>& trace);

inline constexpr std::string_view CONSOLE_USAGE =
    "usage: vorpel-console [--capture FILE] [--playback FILE] [--capture-device NAME]\n"
    "                      [--playback-device NAME] [--trace FILE]\n"
    "Runs the terminal with a text phone window: one command per line on standard input\n"
    "(key D, press NAME, left, right, up, down, action, settings field=value..., settings cancel,\n"
    "tags T1|T2|T3|T4|T5, about, stats, devices, quit), one event per line on standard output.\n"
    "--capture FILE and --playback FILE use raw 8000-Hz 16-bit mono files instead of the\n"
    "sound card; with only one of them the other direction is silent or discarded\n"
    "unless a device is named for it.\n"
    "--capture-device NAME and --playback-device NAME use those sound devices (as the\n"
    "devices command lists them) for this run instead of the stored choice.\n"
    "--trace FILE writes every signalling frame in and out, and the voice packets counted\n"
    "once a second, to FILE.\n";

}  // namespace vorpel
