// The real vorpel-callserver program on loopback: fake terminals register
// over UDP, place a call and exchange voice through the relay ports, and the
// server stops cleanly on SIGTERM. Waits are poll() timeouts on the sockets,
// bounded by a deadline.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "fake_terminal.h"

extern char** environ;

namespace vorpel::callserver::test {
namespace {

class UdpSocket {
public:
    UdpSocket() {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(0x7F000001);
        bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~UdpSocket() { close(fd_); }
    Endpoint endpoint() const { return {0x7F000001, port_}; }
    void sendTo(uint16_t port, const std::vector<uint8_t>& bytes) const {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_addr.s_addr = htonl(0x7F000001);
        peer.sin_port = htons(port);
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer), sizeof peer);
    }
    // Every datagram that arrives within the wait.
    std::vector<std::vector<uint8_t>> receive(int waitMs) const {
        std::vector<std::vector<uint8_t>> all;
        pollfd p{fd_, POLLIN, 0};
        while (poll(&p, 1, all.empty() ? waitMs : 0) > 0) {
            std::vector<uint8_t> buffer(2048);
            const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
            if (n < 0) break;
            buffer.resize(static_cast<size_t>(n));
            all.push_back(std::move(buffer));
        }
        return all;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

struct Phone {
    UdpSocket signalling;
    UdpSocket voice;
    FakeTerminal terminal;
    explicit Phone(FakeAccount account)
        : terminal(signalling.endpoint(), voice.endpoint(), std::move(account)) {}
};

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Ports from the process id, so that parallel runs do not meet.
        port = static_cast<uint16_t>(20000 + (getpid() % 2000) * 10);
        dir = std::filesystem::temp_directory_path() / ("vorpel-callserver-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "accounts.txt") << "201 alice alice-auth secret-pass-12\n202 bob bob-auth bobs-password\n";
        const std::string accounts = (dir / "accounts.txt").string();
        const std::string signalling = std::to_string(port), relay = std::to_string(port + 1);
        const char* argv[] = {VORPEL_CALLSERVER_PATH, "--accounts", accounts.c_str(), "--port", signalling.c_str(),
                              "--relay-port", relay.c_str(), "--max-terminals", "4", nullptr};
        ASSERT_EQ(posix_spawn(&server, VORPEL_CALLSERVER_PATH, nullptr, nullptr, const_cast<char**>(argv), environ),
                  0);
    }
    void TearDown() override {
        if (server > 0) {
            kill(server, SIGKILL);
            waitpid(server, nullptr, 0);
        }
        std::filesystem::remove_all(dir);
    }
    // Moves datagrams between the phones and the server until done() holds
    // or the time runs out.
    bool exchange(std::vector<Phone*> phones, const std::function<bool()>& done, int timeoutMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            for (Phone* p : phones) {
                for (const auto& frame : p->terminal.takeOutbox()) p->signalling.sendTo(port, frame);
            }
            if (done()) return true;
            for (Phone* p : phones) {
                for (const auto& d : p->signalling.receive(10)) p->terminal.receive(d);
            }
        }
        return done();
    }
    // Registers, retrying while the server starts up.
    bool bringUp(Phone& phone, const std::string& extension) {
        for (int attempt = 0; attempt < 50 && !phone.terminal.registered(); ++attempt) {
            phone.terminal.sendRegistration();
            exchange({&phone}, [&] { return phone.terminal.registered(); }, 100);
        }
        return exchange({&phone}, [&] { return phone.terminal.line(0) == "Extension " + extension; });
    }

    uint16_t port = 0;
    std::filesystem::path dir;
    pid_t server = 0;
};

TEST_F(ProcessTest, CallsAndRelaysVoiceOverRealSockets) {
    Phone a(FakeAccount{"alice", "alice-auth", "secret-pass-12"});
    Phone b(FakeAccount{"bob", "bob-auth", "bobs-password"});
    ASSERT_TRUE(bringUp(a, "201"));
    ASSERT_TRUE(bringUp(b, "202"));
    a.terminal.dial("202");
    ASSERT_TRUE(exchange({&a, &b}, [&] { return b.terminal.line(1) == "Call from 201"; }));
    b.terminal.hook();
    ASSERT_TRUE(exchange({&a, &b}, [&] { return a.terminal.voicePort() && b.terminal.voicePort(); }));
    EXPECT_EQ(*a.terminal.voicePort(), port + 1);
    EXPECT_EQ(*b.terminal.voicePort(), port + 2);

    // Both send until each hears the other, as terminals in a call do.
    std::vector<uint8_t> fromA(100), fromB(100);
    for (size_t i = 0; i < 100; ++i) {
        fromA[i] = static_cast<uint8_t>(i);
        fromB[i] = static_cast<uint8_t>(255 - i);
    }
    std::vector<uint8_t> heardByA, heardByB;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (uint16_t seq = 0; (heardByA.empty() || heardByB.empty()) && std::chrono::steady_clock::now() < deadline; ++seq) {
        a.voice.sendTo(*a.terminal.voicePort(), a.terminal.voicePacket(seq, seq * 800u, fromA));
        b.voice.sendTo(*b.terminal.voicePort(), b.terminal.voicePacket(seq, seq * 800u, fromB));
        uint32_t ts = 0;
        for (const auto& d : a.voice.receive(20)) a.terminal.openVoice(d, heardByA, ts);
        for (const auto& d : b.voice.receive(20)) b.terminal.openVoice(d, heardByB, ts);
    }
    EXPECT_EQ(heardByA, fromB);
    EXPECT_EQ(heardByB, fromA);

    a.terminal.hook();
    EXPECT_TRUE(exchange({&a, &b}, [&] { return b.terminal.releases(1) == 1; }));
    kill(server, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(server, &status, 0), server);
    server = 0;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace vorpel::callserver::test
