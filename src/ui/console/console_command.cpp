#include "ui/console/console_command.h"

namespace vorpel {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Takes one value from the front of rest: a quoted text or up to the next space.
std::optional<std::string> takeValue(std::string_view& rest, std::string& error) {
    std::string value;
    if (rest.empty() || rest.front() != '"') {
        const size_t end = rest.find(' ');
        value = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
        return value;
    }
    size_t i = 1;
    while (i < rest.size() && rest[i] != '"') {
        if (rest[i] != '\\') {
            value.push_back(rest[i++]);
            continue;
        }
        if (i + 1 >= rest.size()) break;
        const char escaped = rest[i + 1];
        if (escaped == '"' || escaped == '\\') {
            value.push_back(escaped);
            i += 2;
        } else if (escaped == 'x' && i + 3 < rest.size() && hexDigit(rest[i + 2]) >= 0 &&
                   hexDigit(rest[i + 3]) >= 0) {
            value.push_back(static_cast<char>(hexDigit(rest[i + 2]) * 16 + hexDigit(rest[i + 3])));
            i += 4;
        } else {
            error = "bad escape in quoted value";
            return std::nullopt;
        }
    }
    if (i >= rest.size()) {
        error = "unterminated quoted value";
        return std::nullopt;
    }
    rest = rest.substr(i + 1);
    if (!rest.empty() && rest.front() != ' ') {
        error = "space expected after quoted value";
        return std::nullopt;
    }
    return value;
}

ConsoleCommand parseSettings(std::string_view rest) {
    SettingsCommand command;
    if (rest == "cancel") {
        command.cancel = true;
        return command;
    }
    while (!(rest = trim(rest)).empty()) {
        const size_t equals = rest.find('=');
        const size_t space = rest.find(' ');
        if (equals == std::string_view::npos || (space != std::string_view::npos && space < equals)) {
            return CommandError{"settings fields are written name=value"};
        }
        const std::string_view name = rest.substr(0, equals);
        rest.remove_prefix(equals + 1);
        std::string error;
        auto value = takeValue(rest, error);
        if (!value) return CommandError{error};
        if (name == "address") {
            command.address = std::move(value);
        } else if (name == "account") {
            command.account = std::move(value);
        } else if (name == "auth") {
            command.auth = std::move(value);
        } else if (name == "password") {
            command.password = std::move(value);
        } else if (name == "keepawake") {
            if (*value != "0" && *value != "1") return CommandError{"keepawake is 0 or 1"};
            command.keepAwake = *value == "1";
        } else {
            return CommandError{"unknown settings field " + std::string(name)};
        }
    }
    return command;
}

ConsoleCommand parseTags(std::string_view rest) {
    TagsCommand command;
    if (rest == "cancel") {
        command.cancel = true;
        return command;
    }
    size_t index = 0;
    for (;;) {
        if (index == command.texts.size()) return CommandError{"tags takes at most five texts"};
        const size_t bar = rest.find('|');
        command.texts[index++] = std::string(rest.substr(0, bar));
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    return command;
}

}  // namespace

ConsoleCommand parseConsoleCommand(std::string_view line) {
    line = trim(line);
    if (line.empty()) return EmptyCommand{};
    const size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    const std::string_view rest =
        space == std::string_view::npos ? std::string_view{} : trim(line.substr(space + 1));
    const bool bare = rest.empty();

    if (word == "key") {
        const auto vk = rest.size() == 1 ? keypadVirtualKey(rest[0]) : std::nullopt;
        if (!vk) return CommandError{"key takes one of 0-9 * #"};
        return KeyCommand{*vk};
    }
    if (word == "press") {
        const auto button = buttonByCaption(rest);
        if (!button) return CommandError{"no button named " + std::string(rest)};
        return PressCommand{*button};
    }
    if (word == "settings") return parseSettings(rest);
    if (word == "device") {
        const size_t gap = rest.find(' ');
        const std::string_view direction = rest.substr(0, gap);
        std::string_view value =
            gap == std::string_view::npos ? std::string_view{} : trim(rest.substr(gap + 1));
        std::string error;
        const auto name = takeValue(value, error);
        if (!name) return CommandError{error};
        if ((direction != "capture" && direction != "playback") || !trim(value).empty())
            return CommandError{"device takes capture or playback and one name"};
        return DeviceCommand{direction == "capture", *name};
    }
    if (word == "tags" && !bare) return parseTags(line.substr(space + 1));
    if (bare) {
        if (word == "left") return KeyCommand{VK_LEFT};
        if (word == "right") return KeyCommand{VK_RIGHT};
        if (word == "up") return KeyCommand{VK_UP};
        if (word == "down") return KeyCommand{VK_DOWN};
        if (word == "action") return KeyCommand{VK_ACTION};
        if (word == "about") return AboutCommand{};
        if (word == "stats") return StatsCommand{};
        if (word == "devices") return DevicesCommand{};
        if (word == "quit") return QuitCommand{};
    }
    return CommandError{"unknown command: " + std::string(line)};
}

}  // namespace vorpel
