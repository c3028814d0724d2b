#include "provision_options.h"

#include "settings/dotted_address.h"
#include "settings/settings_record.h"

namespace vorpel {

namespace {

// The account password must pass the terminal's own check (12 characters at
// least) and fit its field.
constexpr size_t MIN_PASSWORD_LENGTH = 12;

bool tooLong(std::string_view name, const std::string& value, size_t limit, std::string& error) {
    if (value.size() <= limit) return false;
    error = std::string(name) + " holds at most " + std::to_string(limit) + " characters (got " +
            std::to_string(value.size()) + ")";
    return true;
}

}  // namespace

std::optional<ProvisionOptions> parseProvisionOptions(std::span<const std::string_view> args,
                                                      std::string& error) {
    ProvisionOptions options;
    bool haveServer = false, haveAccount = false, haveAuth = false, havePassword = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--show") {
            options.show = true;
            continue;
        }
        if (arg == "--keep-awake") {
            options.keepAwake = true;
            options.write = true;
            continue;
        }
        const bool takesValue = arg == "--app" || arg == "--server" || arg == "--numeric" ||
                                arg == "--account" || arg == "--auth" || arg == "--password";
        if (!takesValue) {
            error = "unknown argument " + std::string(arg);
            return std::nullopt;
        }
        if (i + 1 == args.size()) {
            error = std::string(arg) + " needs a value";
            return std::nullopt;
        }
        const std::string value(args[++i]);
        if (arg == "--app") {
            if (value.empty() || value.find('/') != std::string::npos || value == "." || value == "..") {
                error = "--app needs a plain application name such as vorpel-console";
                return std::nullopt;
            }
            options.app = value;
            continue;
        }
        options.write = true;
        if (arg == "--server") {
            options.server = value;
            haveServer = true;
        } else if (arg == "--numeric") {
            options.numericAddress = parseDottedAddress(value);
            if (options.numericAddress == 0 || value.find_first_of(" <") != std::string::npos) {
                error = "--numeric needs a dotted IPv4 address such as 192.0.2.7, not \"" + value + "\"";
                return std::nullopt;
            }
        } else if (arg == "--account") {
            options.account = value;
            haveAccount = true;
        } else if (arg == "--auth") {
            options.auth = value;
            haveAuth = true;
        } else {
            options.password = value;
            havePassword = true;
        }
    }
    if (!options.write) {
        if (options.show) return options;
        error = "nothing to do: give --server, --account, --auth and --password, or --show";
        return std::nullopt;
    }
    if (!haveServer || !haveAccount || !haveAuth || !havePassword) {
        error = "--server, --account, --auth and --password are all needed to write the settings";
        return std::nullopt;
    }
    if (options.server.empty()) {
        error = "--server must not be empty";
        return std::nullopt;
    }
    if (options.account.empty()) {
        error = "--account must not be empty";
        return std::nullopt;
    }
    if (tooLong("--server", options.server, SERVER_ADDRESS_USED, error) ||
        tooLong("--account", options.account, ACCOUNT_ID_USED, error) ||
        tooLong("--auth", options.auth, AUTH_ID_USED, error) ||
        tooLong("--password", options.password, PASSWORD_USED, error)) {
        return std::nullopt;
    }
    if (options.password.size() < MIN_PASSWORD_LENGTH) {
        error = "--password needs at least " + std::to_string(MIN_PASSWORD_LENGTH) +
                " characters; the terminal refuses shorter ones";
        return std::nullopt;
    }
    return options;
}

}  // namespace vorpel
