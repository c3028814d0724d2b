#include "ui/console/console_options.h"

#include <cstdio>

namespace vorpel {

std::optional<ConsoleOptions> parseConsoleOptions(std::span<const std::string_view> args,
                                                  std::string& error) {
    ConsoleOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        const bool device = arg == "--capture-device" || arg == "--playback-device";
        std::optional<std::string>* value = arg == "--capture"           ? &options.capture
                                            : arg == "--playback"        ? &options.playback
                                            : arg == "--capture-device"  ? &options.captureDevice
                                            : arg == "--playback-device" ? &options.playbackDevice
                                            : arg == "--trace"           ? &options.trace
                                                                         : nullptr;
        if (value == nullptr) {
            error = "unknown argument " + std::string(arg);
            return std::nullopt;
        }
        if (i + 1 == args.size() || args[i + 1].empty()) {
            error = std::string(arg) + (device ? " needs a device name" : " needs a file name");
            return std::nullopt;
        }
        *value = std::string(args[++i]);
    }
    return options;
}

bool openTrace(const ConsoleOptions& options, PeriodicTimer& timer, std::string_view program,
               std::unique_ptr<ProtocolTrace>& trace) {
    if (!options.trace) return true;
    trace = ProtocolTrace::open(*options.trace, timer);
    if (trace) return true;
    std::fprintf(stderr, "%.*s: cannot write the trace to %s\n", static_cast<int>(program.size()),
                 program.data(), options.trace->c_str());
    return false;
}

}  // namespace vorpel
