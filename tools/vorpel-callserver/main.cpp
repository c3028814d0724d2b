// vorpel-callserver: wires the CallServer to real UDP sockets. One thread, one
// poll() loop over the signalling socket and one relay socket per terminal
// slot, and a tick every 50 ms (or sooner, when a held voice packet is due).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "call_server.h"
#include "server_options.h"

namespace {

using namespace vorpel::callserver;

constexpr int64_t TICK_MS = 50;
constexpr size_t RECEIVE_BUFFER = 2048;

volatile std::sig_atomic_t stopRequested = 0;
void onStopSignal(int) { stopRequested = 1; }

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int openSocket(uint32_t address, uint16_t port) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(address);
    local.sin_port = htons(port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

class SocketPorts final : public CallServerPorts {
public:
    SocketPorts(const std::vector<pollfd>& fds, const std::vector<ServerOptions::VoiceHold>& holds)
        : fds_(fds), holds_(holds) {}
    void send(size_t channel, const Endpoint& to, std::span<const uint8_t> bytes) override {
        if (channel >= fds_.size()) return;
        if (channel > 0) {
            ++relayed_;
            for (size_t i = 0; i < std::min(holds_.size(), held_.size()); ++i) {
                if (holds_[i].packet != relayed_ || bytes.size() > held_[i].bytes.size()) continue;
                std::copy(bytes.begin(), bytes.end(), held_[i].bytes.begin());
                held_[i].size = bytes.size();
                held_[i].channel = channel;
                held_[i].to = to;
                held_[i].due = monotonicMs() + static_cast<int64_t>(holds_[i].ms);
                return;
            }
        }
        sendNow(channel, to, bytes);
    }
    // When the next packet held back is due (never, when none is held).
    int64_t heldDue() const {
        int64_t due = std::numeric_limits<int64_t>::max();
        for (const Held& h : held_)
            if (h.due >= 0) due = std::min(due, h.due);
        return due;
    }
    void sendHeld(int64_t now) {
        for (size_t i = 0; i < std::min(holds_.size(), held_.size()); ++i) {
            if (held_[i].due < 0 || held_[i].due > now) continue;
            held_[i].due = -1;
            sendNow(held_[i].channel, held_[i].to, std::span(held_[i].bytes).first(held_[i].size));
            std::fprintf(stderr, "vorpel-callserver: voice packet %lu sent %lu ms late\n", holds_[i].packet,
                         holds_[i].ms);
        }
    }
    std::time_t wallClock() override { return std::time(nullptr); }
    void trace(std::string_view line) override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    }

private:
    void sendNow(size_t channel, const Endpoint& to, std::span<const uint8_t> bytes) {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(to.address);
        peer.sin_port = htons(to.port);
        // A full socket buffer loses the datagram, as the network may; the link
        // sends again what matters.
        (void)sendto(fds_[channel].fd, bytes.data(), bytes.size(), 0,
                     reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
    }

    const std::vector<pollfd>& fds_;
    const std::vector<ServerOptions::VoiceHold> holds_;
    unsigned long relayed_ = 0;
    struct Held {  // the packet of holds_[i], while due is not -1
        std::array<uint8_t, RECEIVE_BUFFER> bytes{};
        size_t size = 0;
        size_t channel = 0;
        Endpoint to{};
        int64_t due = -1;
    };
    std::array<Held, MAX_VOICE_HOLDS> held_{};
};

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = parseServerOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "vorpel-callserver: %s\n\n%s", error.c_str(), SERVER_USAGE);
        return 2;
    }
    if (options->help) {
        std::fputs(SERVER_USAGE, stdout);
        return 0;
    }
    std::ifstream file(options->accountsFile);
    if (!file) {
        std::fprintf(stderr, "vorpel-callserver: cannot read %s\n", options->accountsFile.c_str());
        return 2;
    }
    std::stringstream text;
    text << file.rdbuf();
    auto accounts = AccountTable::parse(text.str(), error);
    if (!accounts) {
        std::fprintf(stderr, "vorpel-callserver: %s: %s\n", options->accountsFile.c_str(), error.c_str());
        return 2;
    }
    if (!options->echoExtension.empty() && accounts->findByExtension(options->echoExtension)) {
        std::fprintf(stderr, "vorpel-callserver: the echo extension %s is also an account's\n",
                     options->echoExtension.c_str());
        return 2;
    }

    std::vector<pollfd> fds;
    fds.reserve(1 + options->maxTerminals);
    for (size_t i = 0; i <= options->maxTerminals; ++i) {
        const uint16_t port = i == 0 ? options->port : static_cast<uint16_t>(options->relayPort + i - 1);
        const int fd = openSocket(options->listenAddress, port);
        if (fd < 0) {
            std::fprintf(stderr, "vorpel-callserver: cannot listen on %s: %s\n",
                         formatEndpoint({options->listenAddress, port}).c_str(), std::strerror(errno));
            return 1;
        }
        fds.push_back({fd, POLLIN, 0});
    }

    CallServerConfig config;
    config.relayAddress = options->listenAddress;
    config.relayBasePort = options->relayPort;
    config.maxTerminals = options->maxTerminals;
    config.echoExtension = options->echoExtension;
    config.trace = options->trace;
    const size_t accountCount = accounts->size();
    SocketPorts ports(fds, options->holds);
    CallServer server(std::move(*accounts), config, ports);

    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
    std::fprintf(stderr, "vorpel-callserver: %zu accounts, signalling on %s, relay ports %u-%u\n",
                 accountCount, formatEndpoint({options->listenAddress, options->port}).c_str(),
                 static_cast<unsigned>(options->relayPort),
                 static_cast<unsigned>(options->relayPort + options->maxTerminals - 1));

    std::array<uint8_t, RECEIVE_BUFFER> buffer{};
    int64_t nextTick = monotonicMs();
    while (!stopRequested) {
        const int64_t wait = std::min(nextTick, ports.heldDue()) - monotonicMs();
        const int ready = poll(fds.data(), fds.size(), wait > 0 ? static_cast<int>(wait) : 0);
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "vorpel-callserver: poll: %s\n", std::strerror(errno));
            return 1;
        }
        for (size_t i = 0; ready > 0 && i < fds.size(); ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            for (;;) {
                sockaddr_in peer{};
                socklen_t peerLength = sizeof peer;
                const ssize_t n = recvfrom(fds[i].fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                           reinterpret_cast<sockaddr*>(&peer), &peerLength);
                if (n < 0) break;
                const int64_t now = monotonicMs();
                if (static_cast<size_t>(n) > buffer.size()) {
                    server.noteOversized();
                    continue;
                }
                const Endpoint from{ntohl(peer.sin_addr.s_addr), ntohs(peer.sin_port)};
                const std::span<const uint8_t> datagram(buffer.data(), static_cast<size_t>(n));
                if (i == 0)
                    server.handleSignalling(datagram, from, now);
                else
                    server.handleVoice(i - 1, datagram, from, now);
            }
        }
        const int64_t now = monotonicMs();
        ports.sendHeld(now);
        if (now >= nextTick) {
            server.tick(now);
            nextTick = now + TICK_MS;
        }
    }
    const CallServerCounters& c = server.counters();
    std::fprintf(stderr,
                 "vorpel-callserver: stopped; %llu registrations, %llu refusals, %llu malformed, "
                 "%llu voice packets relayed, %llu dropped\n",
                 static_cast<unsigned long long>(c.registrations),
                 static_cast<unsigned long long>(c.refusals), static_cast<unsigned long long>(c.malformed),
                 static_cast<unsigned long long>(c.voiceRelayed),
                 static_cast<unsigned long long>(c.voiceDropped));
    for (const pollfd& p : fds) close(p.fd);
    return 0;
}
