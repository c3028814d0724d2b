// The console's command lines: the input is cut into lines at newlines.
// Checked: a pressed button is one of the phone's, and the values of a
// settings command, written back as quoted texts of \xNN escapes, parse to
// the same values.
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "ui/console/console_command.h"

namespace vorpel::fuzz {
namespace {

void appendQuoted(std::string& line, std::string_view name, const std::optional<std::string>& value) {
    if (!value) return;
    static constexpr char HEX[] = "0123456789abcdef";
    line += ' ';
    line += name;
    line += "=\"";
    for (const char c : *value) {
        const auto b = static_cast<uint8_t>(c);
        line += {'\\', 'x', HEX[b >> 4], HEX[b & 15]};
    }
    line += '"';
}

void checkLine(std::string_view text) {
    const ConsoleCommand command = parseConsoleCommand(text);
    if (const auto* press = std::get_if<PressCommand>(&command))
        FUZZ_CHECK(static_cast<size_t>(press->button) < PHONE_BUTTON_COUNT);
    const auto* settings = std::get_if<SettingsCommand>(&command);
    if (settings == nullptr || settings->cancel) return;
    std::string line = "settings";
    appendQuoted(line, "address", settings->address);
    appendQuoted(line, "account", settings->account);
    appendQuoted(line, "auth", settings->auth);
    appendQuoted(line, "password", settings->password);
    if (settings->keepAwake) line += *settings->keepAwake ? " keepawake=1" : " keepawake=0";
    const ConsoleCommand again = parseConsoleCommand(line);
    const auto* same = std::get_if<SettingsCommand>(&again);
    FUZZ_CHECK(same != nullptr && same->address == settings->address && same->account == settings->account &&
               same->auth == settings->auth && same->password == settings->password &&
               same->keepAwake == settings->keepAwake);
}

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        vorpel::fuzz::checkLine(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    }
    return 0;
}
