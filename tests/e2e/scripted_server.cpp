#include "scripted_server.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <random>

namespace vorpel::e2e {

namespace {

using Clock = std::chrono::steady_clock;

int bindTo(const std::string& host, uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

UdpEndpoint::UdpEndpoint(const std::string& host, uint16_t port) : fd_(bindTo(host, port)) {}

UdpEndpoint::~UdpEndpoint() {
    if (fd_ >= 0) ::close(fd_);
}

uint16_t UdpEndpoint::port() const {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

std::optional<Bytes> UdpEndpoint::receive(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, left < 0 ? 0 : static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        Bytes datagram(2048);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0) continue;
        datagram.resize(static_cast<size_t>(n));
        peer_ = from;
        havePeer_ = true;
        return datagram;
    }
}

void UdpEndpoint::send(const Bytes& datagram) {
    if (!havePeer_) return;
    ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&peer_),
             sizeof peer_);
}

ScriptedServer::ScriptedServer() {
    // The terminal always talks to the signalling port, so each server takes a
    // loopback address of its own; tests running side by side never meet.
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 50; ++attempt) {
        const std::string host =
            "127.77." + std::to_string(random() % 250 + 1) + "." + std::to_string(random() % 250 + 1);
        socket_.emplace(host, SIGNALLING_PORT);
        if (socket_->ok()) {
            address_ = host;
            break;
        }
    }
}

std::optional<Bytes> ScriptedServer::expect(const std::function<bool(const Bytes&)>& match,
                                            std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return std::nullopt;
        auto datagram = socket_->receive(left);
        if (!datagram) return std::nullopt;
        // A data frame in sequence is acknowledged with the next server frame.
        const Bytes& f = *datagram;
        if (isDataFrame(f) && (f[4] & 7) == expectedSeq_)
            expectedSeq_ = static_cast<uint8_t>((expectedSeq_ + 1) & 7);
        if (match(f)) return datagram;
    }
}

void ScriptedServer::sendRegistrationReply(uint16_t terminalId) {
    // Class, terminal id, then 14 bytes the terminal does not interpret; no
    // public value, so voice travels in the clear.
    Bytes reply(17, 0);
    reply[1] = static_cast<uint8_t>(terminalId);
    reply[2] = static_cast<uint8_t>(terminalId >> 8);
    socket_->send(reply);
}

void ScriptedServer::sendConnectConfirm() {
    socket_->send({0xFF, 0x02});
    sendSeq_ = 0;
    expectedSeq_ = 0;
}

void ScriptedServer::sendDataFrame(const Bytes& elements) {
    Bytes frame{0xFF, 0x10, static_cast<uint8_t>((sendSeq_ & 7) | (expectedSeq_ << 4))};
    frame.insert(frame.end(), elements.begin(), elements.end());
    sendSeq_ = static_cast<uint8_t>((sendSeq_ + 1) & 7);
    socket_->send(frame);
}

Bytes ScriptedServer::displayRow(uint8_t row, std::string_view text) {
    Bytes element{0x40, 52, row};
    for (size_t i = 0; i < 50; ++i) element.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : ' ');
    return element;
}

Bytes ScriptedServer::indicators(const std::vector<std::pair<uint8_t, uint8_t>>& pairs) {
    Bytes element{0x80, static_cast<uint8_t>(1 + 2 * pairs.size())};
    for (auto [number, state] : pairs) {
        element.push_back(number);
        element.push_back(state);
    }
    return element;
}

}  // namespace vorpel::e2e
