#include "ui/console/console_options.h"

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
        if (arg != "--capture" && arg != "--playback") {
            error = "unknown argument " + std::string(arg);
            return std::nullopt;
        }
        if (i + 1 == args.size() || args[i + 1].empty()) {
            error = std::string(arg) + " needs a file name";
            return std::nullopt;
        }
        (arg == "--capture" ? options.capture : options.playback) = std::string(args[++i]);
    }
    return options;
}

}  // namespace vorpel
