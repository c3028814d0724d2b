#include "server_options.h"

#include <charconv>
#include <string_view>

#include "account_table.h"
#include "endpoint.h"

namespace vorpel::callserver {

const char* const SERVER_USAGE =
    "Usage: vorpel-callserver --accounts FILE [options]\n"
    "\n"
    "A call server for development, demos and tests: terminals register with it,\n"
    "it drives their displays and lamps, connects calls between its extensions\n"
    "and relays their voice, re-encrypting it from one terminal's key to the other's.\n"
    "\n"
    "Options:\n"
    "  --accounts FILE       accounts, one a line: extension account-id auth-id password\n"
    "                        (text after # is a comment)\n"
    "  --listen ADDR         IPv4 address to listen on (default 127.0.0.1); with 0.0.0.0\n"
    "                        terminals are sent to the relay at the server's own address\n"
    "  --port N              signalling port (default 9877)\n"
    "  --relay-port N        first voice relay port; terminal slot n uses N + n (default 9880)\n"
    "  --max-terminals N     terminals registered at once, 1 to 256 (default 32)\n"
    "  --echo EXT            extension that plays a caller's voice back (default 9;\n"
    "                        an empty value turns it off)\n"
    "  --trace               print every frame and packet in and out on stderr\n"
    "  --hold-voice N:MS     send the Nth voice packet the relay passes on MS ms late\n"
    "                        (1 to 10000), after the packets behind it, as a congested\n"
    "                        path would, to try a terminal's playout (up to 8 times)\n"
    "  --help                show this text\n"
    "\n"
    "Dialling: digits and * collect on the display; the call is placed as soon as they\n"
    "form a known extension that no longer extension begins with, or on OK or #.\n"
    "Del removes a digit, Esc clears the number, cancels, rejects or ends a call.\n"
    "The hook key answers a ringing phone and hangs up.\n";

namespace {

bool parseNumber(std::string_view text, unsigned long min, unsigned long max, unsigned long& out) {
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < min || value > max) return false;
    out = value;
    return true;
}

}  // namespace

std::optional<ServerOptions> parseServerOptions(int argc, const char* const* argv, std::string& error) {
    ServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--help" || name == "-h") {
            options.help = true;
            return options;
        }
        if (name == "--trace") {
            options.trace = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "option " + std::string(name) + " needs a value";
            return std::nullopt;
        }
        const std::string value = argv[++i];
        unsigned long number = 0;
        if (name == "--accounts") {
            options.accountsFile = value;
        } else if (name == "--listen") {
            if (!parseDottedAddress(value, options.listenAddress)) {
                error = "--listen needs a dotted IPv4 address, not '" + value + "'";
                return std::nullopt;
            }
        } else if (name == "--port" || name == "--relay-port") {
            if (!parseNumber(value, 1, 65535, number)) {
                error = std::string(name) + " needs a port number from 1 to 65535";
                return std::nullopt;
            }
            (name == "--port" ? options.port : options.relayPort) = static_cast<uint16_t>(number);
        } else if (name == "--max-terminals") {
            if (!parseNumber(value, 1, 256, number)) {
                error = "--max-terminals needs a number from 1 to 256";
                return std::nullopt;
            }
            options.maxTerminals = number;
        } else if (name == "--echo") {
            if (!value.empty() && !isValidExtension(value)) {
                error = "--echo needs an extension of the characters 0-9 and *";
                return std::nullopt;
            }
            options.echoExtension = value;
        } else if (name == "--hold-voice") {
            const size_t colon = value.find(':');
            ServerOptions::VoiceHold hold;
            if (colon == std::string::npos ||
                !parseNumber(std::string_view(value).substr(0, colon), 1, 1UL << 31, hold.packet) ||
                !parseNumber(std::string_view(value).substr(colon + 1), 1, 10000, hold.ms) ||
                options.holds.size() == MAX_VOICE_HOLDS) {
                error =
                    "--hold-voice needs N:MS, a packet number from 1 and milliseconds from 1 to 10000, "
                    "at most 8 times";
                return std::nullopt;
            }
            options.holds.push_back(hold);
        } else {
            error = "unknown option " + std::string(name);
            return std::nullopt;
        }
    }
    if (options.accountsFile.empty()) {
        error = "--accounts FILE is required";
        return std::nullopt;
    }
    if (static_cast<unsigned long>(options.relayPort) + options.maxTerminals - 1 > 65535) {
        error = "the relay ports run past 65535";
        return std::nullopt;
    }
    const unsigned long first = options.relayPort, last = first + options.maxTerminals - 1;
    if (options.port >= first && options.port <= last) {
        error = "the signalling port lies among the relay ports";
        return std::nullopt;
    }
    return options;
}

}  // namespace vorpel::callserver
