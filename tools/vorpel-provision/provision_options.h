// The command line of vorpel-provision and what it asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vorpel {

inline constexpr std::string_view DEFAULT_PROVISION_APP = "vorpel";

struct ProvisionOptions {
    std::string app{DEFAULT_PROVISION_APP};
    bool show = false;
    bool write = false;  // any of the account options given
    std::string server;
    uint32_t numericAddress = 0;  // 0 when --numeric is not given
    std::string account;
    std::string auth;
    std::string password;
    bool keepAwake = false;
};

// Parses the arguments after the program name. On a bad command line returns
// nothing and puts a one-line explanation into error.
std::optional<ProvisionOptions> parseProvisionOptions(std::span<const std::string_view> args,
                                                      std::string& error);

}  // namespace vorpel
