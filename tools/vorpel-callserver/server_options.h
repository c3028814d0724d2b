// Command-line options of vorpel-callserver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vorpel::callserver {

inline constexpr size_t MAX_VOICE_HOLDS = 8;

struct ServerOptions {
    uint32_t listenAddress = 0x7F000001;  // 127.0.0.1
    uint16_t port = 9877;
    uint16_t relayPort = 9880;
    size_t maxTerminals = 32;
    std::string accountsFile;
    std::string echoExtension = "9";
    bool trace = false;
    bool help = false;
    // --hold-voice N:MS, each: the relay's Nth voice packet goes out MS ms late.
    struct VoiceHold {
        unsigned long packet = 0;
        unsigned long ms = 0;
    };
    std::vector<VoiceHold> holds;
};

extern const char* const SERVER_USAGE;

// Parses argv[1..argc-1]; on failure returns nothing and describes why.
std::optional<ServerOptions> parseServerOptions(int argc, const char* const* argv, std::string& error);

}  // namespace vorpel::callserver
