#include "platform/poll_event_loop.h"
#include "platform/posix_udp_socket.h"
#include "quit_on_message.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <array>
#include <string>
#include <vector>

namespace vorpel {
namespace {

class SocketEvents : public UdpSocketEvents {
public:
    explicit SocketEvents(EventLoop& loop) : loop_(loop) {}
    void onReceive(int) override {
        ++receives;
        if (quitOnReceive) loop_.quit();
    }
    void onSend(int) override {
        ++sends;
        if (quitOnSend) loop_.quit();
    }
    int receives = 0;
    int sends = 0;
    bool quitOnReceive = false;
    bool quitOnSend = false;

private:
    EventLoop& loop_;
};

std::span<const uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Two sockets connected to each other over loopback.
class LoopbackPair : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(loop.valid());
        ASSERT_TRUE(factory.startup());
        ASSERT_TRUE(a.create());
        ASSERT_TRUE(b.create());
        ASSERT_TRUE(a.connect("127.0.0.1", b.localPort()));
        ASSERT_TRUE(b.connect("127.0.0.1", a.localPort()));
    }
    // Runs the loop until a handler quits it; a posted message bounds the run
    // to what is ready now.
    void runOnce() {
        loop.post(LoopMessage{});
        loop.run();
    }
    PollEventLoop loop;
    PosixUdpSocketFactory factory{loop};
    SocketEvents aEvents{loop};
    SocketEvents bEvents{loop};
    PosixUdpSocket a{loop, aEvents};
    PosixUdpSocket b{loop, bEvents};
};

TEST_F(LoopbackPair, DatagramsArriveWholeWithOneReceiveNotification) {
    bEvents.quitOnReceive = true;
    EXPECT_EQ(a.send(bytesOf("hello")), 5u);
    EXPECT_EQ(a.send(bytesOf("world!")), 6u);
    loop.run();
    EXPECT_EQ(bEvents.receives, 1);

    std::array<uint8_t, 256> buffer{};
    ASSERT_EQ(b.receive(buffer), 5);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "hello");
    ASSERT_EQ(b.receive(buffer), 6);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 6), "world!");
    EXPECT_EQ(b.receive(buffer), -1);  // nothing left: would block
}

TEST_F(LoopbackPair, EachSocketReportsItCanSendOnceAfterConnect) {
    testing::QuitOnMessage quitter(loop);
    loop.setMessageHandler(&quitter);
    aEvents.quitOnSend = true;
    loop.run();
    runOnce();
    runOnce();
    EXPECT_EQ(aEvents.sends, 1);
    EXPECT_EQ(bEvents.sends, 1);
}

TEST_F(LoopbackPair, ReceiveIsReportedAgainAfterAReadWhileMoreWaits) {
    testing::QuitOnMessage quitter(loop);
    loop.setMessageHandler(&quitter);
    a.send(bytesOf("1"));
    a.send(bytesOf("2"));
    runOnce();
    EXPECT_EQ(bEvents.receives, 1);
    runOnce();
    EXPECT_EQ(bEvents.receives, 1) << "reported again without a read";

    std::array<uint8_t, 16> buffer{};
    ASSERT_EQ(b.receive(buffer), 1);
    runOnce();
    EXPECT_EQ(bEvents.receives, 2);
    ASSERT_EQ(b.receive(buffer), 1);
    EXPECT_EQ(b.receive(buffer), -1);
    runOnce();
    EXPECT_EQ(bEvents.receives, 2) << "reported with nothing waiting";
}

// A datagram longer than the buffer is dropped whole, not cut; an empty one
// reads as zero bytes; a stranger's datagrams never reach a connected socket.
TEST_F(LoopbackPair, ReceiveTakesWholeDatagramsFromThePeerOnly) {
    SocketEvents strangerEvents(loop);
    PosixUdpSocket stranger(loop, strangerEvents);
    ASSERT_TRUE(stranger.create());
    ASSERT_TRUE(stranger.connect("127.0.0.1", b.localPort()));
    EXPECT_EQ(stranger.send(bytesOf("intruder")), 8u);
    EXPECT_EQ(a.send(bytesOf(std::string(300, 'L'))), 300u);
    EXPECT_EQ(a.send({}), 0u);
    EXPECT_EQ(a.send(bytesOf("next")), 4u);
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(b.receive(buffer), -1);
    EXPECT_EQ(b.receive(buffer), 0);
    ASSERT_EQ(b.receive(buffer), 4);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 4), "next");
    EXPECT_EQ(b.receive(buffer), -1);
}

TEST_F(LoopbackPair, PeerAddressIsTheDottedAddressAsANumber) {
    EXPECT_EQ(a.peerAddress(), 0x7F000001u);
    SocketEvents events(loop);
    PosixUdpSocket unconnected(loop, events);
    EXPECT_EQ(unconnected.peerAddress(), 0u);
    ASSERT_TRUE(unconnected.create());
    EXPECT_EQ(unconnected.peerAddress(), 0u);
    a.close();
    EXPECT_EQ(a.peerAddress(), 0u);
    EXPECT_EQ(a.send(bytesOf("x")), 0u);
}

TEST_F(LoopbackPair, NoNotificationAfterClose) {
    testing::QuitOnMessage quitter(loop);
    loop.setMessageHandler(&quitter);
    b.close();
    a.send(bytesOf("x"));
    runOnce();
    EXPECT_EQ(bEvents.receives, 0);
    EXPECT_EQ(bEvents.sends, 0);
}

TEST(PosixUdpSocketConnect, ResolvesHostNamesAndRefusesWhatCannotBeResolved) {
    PollEventLoop loop;
    SocketEvents events(loop);
    PosixUdpSocket socket(loop, events);
    EXPECT_FALSE(socket.connect("127.0.0.1", 9877)) << "connect before create";
    ASSERT_TRUE(socket.create());
    EXPECT_FALSE(socket.create());
    EXPECT_FALSE(socket.connect("no-such-host.invalid", 9877));
    EXPECT_FALSE(socket.connect("", 9877));
    EXPECT_FALSE(socket.connect(std::string_view("127.0.0.1\0evil", 14), 9877));
    EXPECT_FALSE(socket.connect(std::string(300, 'a'), 9877));
    // A bare chroot may have no hosts file; then no program here can resolve the name.
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo("localhost", nullptr, &hints, &found) != 0) {
        GTEST_SKIP() << "this machine does not resolve localhost (no hosts file entry)";
    }
    freeaddrinfo(found);
    ASSERT_TRUE(socket.connect("localhost", 9877));
    EXPECT_EQ(socket.peerAddress(), 0x7F000001u);
}

}  // namespace
}  // namespace vorpel
