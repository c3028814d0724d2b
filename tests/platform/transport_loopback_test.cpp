#include "signalling/transport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

#include "platform/poll_event_loop.h"
#include "platform/posix_udp_socket.h"
#include "quit_on_message.h"
#include "transport_fakes.h"

namespace vorpel {
namespace {

using testing::Bytes;
using testing::bytesOf;

// A loopback address of the tests' own, so that the server side can take
// the signalling port without meeting another program on 127.0.0.1.
constexpr const char* SERVER_TEXT = "127.0.93.77";
constexpr uint32_t SERVER_ADDRESS = 0x7F005D4D;

// The server's side: a plain bound socket, read and written directly.
class ServerSocket {
public:
    explicit ServerSocket(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(SERVER_ADDRESS);
        if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
        timeval timeout{5, 0};
        if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    }
    ~ServerSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    uint16_t port() const {
        sockaddr_in address{};
        socklen_t size = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
        return ntohs(address.sin_port);
    }
    // Waits (at most 5 s) for one datagram and remembers who sent it.
    Bytes receive() {
        std::array<uint8_t, 2048> buffer{};
        socklen_t size = sizeof client_;
        const ssize_t got = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&client_), &size);
        return got < 0 ? Bytes{} : Bytes(buffer.begin(), buffer.begin() + got);
    }
    void reply(const Bytes& datagram) {
        ::sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&client_), sizeof client_);
    }

private:
    int fd_ = -1;
    sockaddr_in client_{};
};

// Ends the loop as soon as the awaited call-out has happened.
class LoopEvents final : public testing::RecordingTransportEvents {
public:
    explicit LoopEvents(EventLoop& loop) : loop_(loop) {}
    void startRegistration() override {
        RecordingTransportEvents::startRegistration();
        loop_.quit();
    }
    void handleDatagram(std::span<const uint8_t> datagram) override {
        RecordingTransportEvents::handleDatagram(datagram);
        if (datagrams.size() >= quitAfterDatagrams) loop_.quit();
    }
    void queueVoiceDatagram(std::span<const uint8_t> datagram) override {
        RecordingTransportEvents::queueVoiceDatagram(datagram);
        loop_.quit();
    }
    size_t quitAfterDatagrams = 1;

private:
    EventLoop& loop_;
};

class TransportLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.ok()) GTEST_SKIP() << "cannot bind " << SERVER_TEXT << ":9877 for the fake server";
        events.server = SERVER_TEXT;
        loop.setMessageHandler(&quitter);
    }
    void runOnce() {
        loop.post(LoopMessage{});
        loop.run();
    }

    PollEventLoop loop;
    PosixUdpSocketFactory sockets{loop};
    LoopEvents events{loop};
    testing::QuitOnMessage quitter{loop};
    std::mutex engineLock;
    Transport transport{sockets, events, engineLock};
    ServerSocket server{SIGNALLING_PORT};
};

TEST_F(TransportLoopback, RegistersTalksAndCarriesVoiceOverRealSockets) {
    {
        std::lock_guard lock(engineLock);
        transport.ensureSignallingSocket();
        ASSERT_TRUE(transport.hasSignallingSocket());
    }
    loop.run();  // until the first send notification starts the registration
    ASSERT_EQ(events.calls, std::vector<std::string>{"startRegistration"});
    EXPECT_EQ(transport.signallingPeerAddress(), SERVER_ADDRESS);

    {
        std::lock_guard lock(engineLock);
        EXPECT_EQ(transport.sendSignalling(bytesOf("register")), 8u);
    }
    EXPECT_EQ(server.receive(), bytesOf("register"));

    // A reply, an over-long datagram, and another reply: the engine sees the
    // two replies only.
    server.reply(bytesOf("reply-1"));
    server.reply(Bytes(300, 0x33));
    server.reply(bytesOf("reply-2"));
    events.quitAfterDatagrams = 2;
    loop.run();
    EXPECT_EQ(events.datagrams, (std::vector<Bytes>{bytesOf("reply-1"), bytesOf("reply-2")}));

    // The voice channel goes to the signalling peer at the port named.
    ServerSocket voiceServer(0);
    ASSERT_TRUE(voiceServer.ok());
    {
        std::lock_guard lock(engineLock);
        transport.openVoiceChannel(voiceServer.port(), 0);
        ASSERT_TRUE(transport.hasVoiceSocket());
    }
    runOnce();
    ASSERT_TRUE(transport.voiceWritable());
    EXPECT_EQ(transport.sendVoice(bytesOf("rtp-out")), 7u);
    EXPECT_EQ(voiceServer.receive(), bytesOf("rtp-out"));
    voiceServer.reply(bytesOf("rtp-in"));
    loop.run();
    EXPECT_EQ(events.voiceDatagrams, std::vector<Bytes>{bytesOf("rtp-in")});

    {
        std::lock_guard lock(engineLock);
        transport.closeVoiceSocket();
        transport.closeSignallingSocket();
    }
    EXPECT_EQ(transport.sendVoice(bytesOf("late")), 0u);
}

TEST_F(TransportLoopback, AnUnresolvableServerNameIsASocketFault) {
    events.server = "no-such-host.invalid";
    std::lock_guard lock(engineLock);
    transport.ensureSignallingSocket();
    EXPECT_TRUE(transport.socketFault());
    EXPECT_EQ(events.calls, std::vector<std::string>{"title:Socket Fault"});
    EXPECT_EQ(transport.sendSignalling(bytesOf("frame")), 0u);
}

}  // namespace
}  // namespace vorpel
