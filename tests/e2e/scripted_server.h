// A small call server written for the whole-program tests: one UDP socket
// bound to a loopback address of its own at the signalling port, receiving
// with bounded waits and answering as each test's script says. It speaks the
// terminal's protocol from the server's side: registration replies, connect
// confirms, data frames numbered modulo 8 with piggybacked acknowledgements.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorpel::e2e {

using Bytes = std::vector<uint8_t>;

inline constexpr uint16_t SIGNALLING_PORT = 9877;

// A bound UDP socket with bounded receives.
class UdpEndpoint {
public:
    // Binds host:port (port 0 picks a free one). Check ok() afterwards.
    UdpEndpoint(const std::string& host, uint16_t port);
    ~UdpEndpoint();
    UdpEndpoint(const UdpEndpoint&) = delete;
    UdpEndpoint& operator=(const UdpEndpoint&) = delete;

    bool ok() const { return fd_ >= 0; }
    uint16_t port() const;
    // The next datagram (its sender is remembered as the peer), or nothing in time.
    std::optional<Bytes> receive(std::chrono::milliseconds timeout);
    // Sends to the last peer heard from.
    void send(const Bytes& datagram);

private:
    int fd_ = -1;
    sockaddr_in peer_{};
    bool havePeer_ = false;
};

class ScriptedServer {
public:
    // Binds the signalling port on the first free address 127.77.x.y.
    ScriptedServer();

    const std::string& address() const { return address_; }
    UdpEndpoint& socket() { return *socket_; }

    // Receives until match accepts a datagram; the others are dropped.
    std::optional<Bytes> expect(const std::function<bool(const Bytes&)>& match,
                                std::chrono::milliseconds timeout);

    void sendRegistrationReply(uint16_t terminalId);
    void sendConnectConfirm();
    // One data frame under the next server sequence number, acknowledging
    // everything the terminal has sent so far.
    void sendDataFrame(const Bytes& elements);

    // Elements.
    static Bytes displayRow(uint8_t row, std::string_view text);  // padded with spaces to 50
    static Bytes indicators(const std::vector<std::pair<uint8_t, uint8_t>>& pairs);

    // Frame recognisers for the terminal's frames (0xFF, id low, id high, type ...).
    static bool isDataFrame(const Bytes& f) { return f.size() >= 5 && f[0] == 0xFF && f[3] == 0x10; }
    static bool isLogoff(const Bytes& f) { return f.size() == 3 && f[0] == 0x01; }
    static bool isConnectRequest(const Bytes& f) { return f.size() == 4 && f[0] == 0xFF && f[3] == 0x01; }
    static bool isRegistrationRequest(const Bytes& f) {
        return (f.size() == 41 || f.size() == 137) && f[0] == 0;
    }

private:
    std::string address_;
    std::optional<UdpEndpoint> socket_;
    uint8_t sendSeq_ = 0;      // next server data frame
    uint8_t expectedSeq_ = 0;  // next terminal data frame
};

}  // namespace vorpel::e2e
