#include "platform/poll_event_loop.h"
#include "platform/posix_udp_socket.h"
#include "quit_on_message.h"

#include <gtest/gtest.h>

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

// Whole datagrams from the peer only (one too long for the buffer is
// dropped, an empty one reads as zero bytes); each notification once until
// re-armed by a read (receive) or by connecting (send), none after close.
TEST_F(LoopbackPair, WholeDatagramsFromThePeerAndEachNotificationOnce) {
    testing::QuitOnMessage quitter(loop);
    loop.setMessageHandler(&quitter);
    SocketEvents strangerEvents(loop);
    PosixUdpSocket stranger(loop, strangerEvents);
    ASSERT_TRUE(stranger.create());
    ASSERT_TRUE(stranger.connect("127.0.0.1", b.localPort()));
    EXPECT_EQ(stranger.send(bytesOf("intruder")), 8u);
    EXPECT_EQ(a.send(bytesOf(std::string(300, 'L'))), 300u);
    EXPECT_EQ(a.send({}), 0u);
    EXPECT_EQ(a.send(bytesOf("hello")), 5u);
    runOnce();
    runOnce();
    EXPECT_EQ(bEvents.receives, 1);
    EXPECT_EQ(aEvents.sends, 1);
    EXPECT_EQ(bEvents.sends, 1);
    std::array<uint8_t, 256> buffer{};
    EXPECT_EQ(b.receive(buffer), -1);
    runOnce();
    EXPECT_EQ(bEvents.receives, 2);
    EXPECT_EQ(b.receive(buffer), 0);
    ASSERT_EQ(b.receive(buffer), 5);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 5), "hello");
    EXPECT_EQ(b.receive(buffer), -1);  // nothing left: would block
    runOnce();
    EXPECT_EQ(bEvents.receives, 2);  // re-armed, but nothing waits: no report
    b.close();
    a.send(bytesOf("x"));
    runOnce();
    EXPECT_EQ(bEvents.receives, 2);
    EXPECT_EQ(a.peerAddress(), 0x7F000001u);
    a.close();
    EXPECT_EQ(a.peerAddress(), 0u);
    EXPECT_EQ(a.send(bytesOf("x")), 0u);
}

TEST(PosixUdpSocketConnect, ResolvesHostNamesAndRefusesBadOnes) {
    PollEventLoop loop;
    SocketEvents events(loop);
    PosixUdpSocket socket(loop, events);
    EXPECT_FALSE(socket.connect("127.0.0.1", 9877)) << "connect before create";
    EXPECT_EQ(socket.peerAddress(), 0u);
    ASSERT_TRUE(socket.create());
    EXPECT_FALSE(socket.create());
    EXPECT_FALSE(socket.connect("", 9877));
    EXPECT_FALSE(socket.connect(std::string_view("127.0.0.1\0evil", 14), 9877));
    EXPECT_FALSE(socket.connect(std::string(300, 'a'), 9877));
    if (socket.connect("localhost", 9877)) {  // when a hosts file has it
        EXPECT_EQ(socket.peerAddress(), 0x7F000001u);
    }
}

}  // namespace
}  // namespace vorpel
