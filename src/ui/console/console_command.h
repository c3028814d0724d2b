// One line of vorpel-console's standard input, parsed.
//
//   key D                 D one of 0-9 * #
//   press NAME            Yes No Esc < OK > Del Rec Mut Tra Fla Cnf
//   left | right | up | down | action
//   settings [address=V] [account=V] [auth=V] [password=V] [keepawake=0|1]
//   settings cancel
//   tags T1|T2|T3|T4|T5   (trailing texts left out keep their values)
//   tags cancel
//   about
//   stats                 the counts of the current or last call
//   devices               the sound devices there are to choose from
//   quit
//
// A value V runs to the next space, or is a double-quoted text in which \",
// \\ and \xNN stand for '"', '\' and the byte NN.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "phone/phone_keys.h"

namespace vorpel {

struct KeyCommand {
    uint8_t virtualKey;  // keypad keys and the navigation keys
};
struct PressCommand {
    PhoneButton button;
};
struct SettingsCommand {
    bool cancel = false;
    std::optional<std::string> address, account, auth, password;
    std::optional<bool> keepAwake;
};
struct TagsCommand {
    bool cancel = false;
    std::array<std::optional<std::string>, 5> texts;
};
struct AboutCommand {};
struct StatsCommand {};
struct DevicesCommand {};
struct DeviceCommand {  // device capture|playback NAME: that sound device from the next call on
    bool capture;
    std::string name;  // empty: the default device
};
struct QuitCommand {};
struct EmptyCommand {};  // a blank line does nothing
struct CommandError {
    std::string text;
};

using ConsoleCommand =
    std::variant<EmptyCommand, KeyCommand, PressCommand, SettingsCommand, TagsCommand, AboutCommand,
                 StatsCommand, DevicesCommand, DeviceCommand, QuitCommand, CommandError>;

ConsoleCommand parseConsoleCommand(std::string_view line);

}  // namespace vorpel
