#include "lossy_udp_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <vector>

#include "scripted_server.h"

namespace vorpel::e2e {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto HOLD_LIMIT = std::chrono::milliseconds(300);
constexpr size_t DATAGRAM_MAX = 2048;

int openUdp(uint32_t host, uint16_t port) {  // both in network byte order
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = host;
    address.sin_port = port;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One direction of one terminal's traffic.
class SpoiledStream {
public:
    SpoiledStream(uint32_t seed, double share) : random_(seed), share_(share) {}

    // Sends (or not) datagram with send, and releases a held one after it.
    template <typename Send, typename Counts>
    void pass(const uint8_t* data, size_t size, Send&& send, Counts& counts) {
        const double u = std::uniform_real_distribution<double>(0.0, 1.0)(random_);
        const bool hold = u >= 2 * share_ && u < 3 * share_;
        if (u < share_) {
            ++counts.dropped;
        } else if (u < 2 * share_) {
            send(data, size);
            send(data, size);
            ++counts.duplicated;
        } else if (!hold) {
            send(data, size);
            ++counts.passed;
        }
        release(send);
        if (hold) {
            held_.emplace(data, data + size);
            heldSince_ = Clock::now();
            ++counts.reordered;
        }
    }
    template <typename Send>
    void releaseIfStale(Send&& send) {
        if (held_ && Clock::now() - heldSince_ >= HOLD_LIMIT) release(send);
    }

private:
    template <typename Send>
    void release(Send&& send) {
        if (!held_) return;
        send(held_->data(), held_->size());
        held_.reset();
    }

    std::mt19937 random_;
    double share_;
    std::optional<std::vector<uint8_t>> held_;
    Clock::time_point heldSince_;
};

struct Terminal {
    sockaddr_in address{};
    int upstreamFd = -1;
    SpoiledStream up, down;
};

}  // namespace

LossyUdpProxy::LossyUdpProxy(const std::string& serverAddress, uint16_t serverPort, uint32_t seed,
                             double share)
    : seed_(seed), share_(share) {
    in_addr server{};
    if (::inet_pton(AF_INET, serverAddress.c_str(), &server) != 1) return;
    serverHost_ = server.s_addr;
    serverPort_ = htons(serverPort);
    std::random_device entropy;
    std::mt19937 random(entropy());
    for (int attempt = 0; attempt < 50 && listenFd_ < 0; ++attempt) {
        const std::string host =
            "127.79." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
        in_addr address{};
        ::inet_pton(AF_INET, host.c_str(), &address);
        listenFd_ = openUdp(address.s_addr, htons(SIGNALLING_PORT));
        if (listenFd_ >= 0) address_ = host;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (listenFd_ < 0 || stopFd_ < 0) return;
    thread_ = std::thread([this] { run(); });
}

LossyUdpProxy::~LossyUdpProxy() {
    stop();
    if (listenFd_ >= 0) ::close(listenFd_);
    if (stopFd_ >= 0) ::close(stopFd_);
}

void LossyUdpProxy::stop() {
    if (!thread_.joinable()) return;
    const uint64_t one = 1;
    (void)::write(stopFd_, &one, sizeof one);
    thread_.join();
}

LossyUdpProxy::Counts LossyUdpProxy::toServer() const { return toServer_.load(); }
LossyUdpProxy::Counts LossyUdpProxy::toTerminals() const { return toTerminals_.load(); }

void LossyUdpProxy::run() {
    std::vector<Terminal> terminals;
    terminals.reserve(MAX_TERMINALS);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = serverHost_;
    server.sin_port = serverPort_;
    std::array<uint8_t, DATAGRAM_MAX> buffer{};
    for (;;) {
        std::vector<pollfd> fds{{stopFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const Terminal& t : terminals) fds.push_back({t.upstreamFd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 20) < 0) continue;
        if (fds[0].revents != 0) break;
        if (fds[1].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n = ::recvfrom(listenFd_, buffer.data(), buffer.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &length);
            Terminal* terminal = nullptr;
            for (Terminal& t : terminals) {
                if (t.address.sin_addr.s_addr == from.sin_addr.s_addr && t.address.sin_port == from.sin_port)
                    terminal = &t;
            }
            if (n >= 0 && terminal == nullptr && terminals.size() < MAX_TERMINALS) {
                const uint32_t index = static_cast<uint32_t>(terminals.size());
                const int fd = openUdp(htonl(INADDR_LOOPBACK), 0);
                if (fd >= 0) {
                    terminals.push_back(Terminal{from, fd, SpoiledStream(seed_ * 16 + 2 * index, share_),
                                                 SpoiledStream(seed_ * 16 + 2 * index + 1, share_)});
                    terminal = &terminals.back();
                }
            }
            if (n >= 0 && terminal != nullptr) {
                const int fd = terminal->upstreamFd;
                terminal->up.pass(
                    buffer.data(), static_cast<size_t>(n),
                    [&](const uint8_t* data, size_t size) {
                        ::sendto(fd, data, size, 0, reinterpret_cast<const sockaddr*>(&server),
                                 sizeof server);
                    },
                    toServer_);
            }
        }
        for (size_t i = 0; i < terminals.size(); ++i) {
            Terminal& t = terminals[i];
            auto toTerminal = [&](const uint8_t* data, size_t size) {
                ::sendto(listenFd_, data, size, 0, reinterpret_cast<const sockaddr*>(&t.address),
                         sizeof t.address);
            };
            auto toServer = [&](const uint8_t* data, size_t size) {
                ::sendto(t.upstreamFd, data, size, 0, reinterpret_cast<const sockaddr*>(&server),
                         sizeof server);
            };
            if (2 + i < fds.size() && (fds[2 + i].revents & POLLIN)) {
                const ssize_t n = ::recv(t.upstreamFd, buffer.data(), buffer.size(), 0);
                if (n >= 0) t.down.pass(buffer.data(), static_cast<size_t>(n), toTerminal, toTerminals_);
            }
            t.up.releaseIfStale(toServer);
            t.down.releaseIfStale(toTerminal);
        }
    }
    for (const Terminal& t : terminals) ::close(t.upstreamFd);
}

}  // namespace vorpel::e2e
