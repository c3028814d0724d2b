// The UDP transport's rules against fake sockets and name lookups.
#include "app/transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <latch>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/poll_event_loop.h"
#include "platform/thread_name_resolver.h"
#include "platform/udp_socket.h"

namespace vorpel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// What one fake socket saw; outlives the socket so tests can look afterwards.
struct SocketRecord {
    std::mutex mutex;  // sendVoice runs on another thread in the race test
    UdpSocketEvents* events = nullptr;
    bool closed = false, failConnect = false;
    std::string host;
    uint16_t port = 0;
    std::deque<Bytes> incoming;
    std::vector<Bytes> sent;
};

class FakeSocket final : public UdpSocket {
public:
    FakeSocket(std::shared_ptr<SocketRecord> record, bool failCreate, uint32_t peer)
        : record_(std::move(record)), failCreate_(failCreate), peer_(peer) {}
    ~FakeSocket() override { close(); }
    bool create() override { return !failCreate_; }
    bool connect(std::string_view host, uint16_t port) override {
        std::lock_guard lock(record_->mutex);
        record_->host = std::string(host);
        record_->port = port;
        return !record_->failConnect;
    }
    size_t send(std::span<const uint8_t> datagram) override {
        std::lock_guard lock(record_->mutex);
        record_->sent.push_back(record_->closed ? bytesOf("SENT AFTER CLOSE")
                                                : Bytes(datagram.begin(), datagram.end()));
        return record_->closed ? 0 : datagram.size();
    }
    ptrdiff_t receive(std::span<uint8_t> buffer) override {
        std::lock_guard lock(record_->mutex);
        if (record_->incoming.empty()) return -1;
        Bytes datagram = std::move(record_->incoming.front());
        record_->incoming.pop_front();
        if (datagram.size() > buffer.size()) return -1;  // dropped whole, like the real one
        std::copy(datagram.begin(), datagram.end(), buffer.begin());
        return static_cast<ptrdiff_t>(datagram.size());
    }
    uint32_t peerAddress() const override { return peer_; }
    void close() override {
        std::lock_guard lock(record_->mutex);
        record_->closed = true;
    }

private:
    std::shared_ptr<SocketRecord> record_;
    bool failCreate_;
    uint32_t peer_;
};

struct FakeSocketFactory final : UdpSocketFactory {
    bool startup() override { return true; }
    std::unique_ptr<UdpSocket> makeSocket(UdpSocketEvents& events) override {
        ++attempts;
        if (onMake) onMake();
        if (failAllocation) return nullptr;
        records.push_back(std::make_shared<SocketRecord>());
        records.back()->events = &events;
        records.back()->failConnect = failConnect;
        return std::make_unique<FakeSocket>(records.back(), failCreate, nextPeer);
    }
    SocketRecord& last() { return *records.back(); }
    int attempts = 0;
    bool failAllocation = false, failCreate = false, failConnect = false;
    uint32_t nextPeer = 0;
    std::vector<std::shared_ptr<SocketRecord>> records;
    std::function<void()> onMake;
};

// Records the names asked for; the test answers through events.
struct FakeResolver final : NameResolver {
    bool resolve(std::string_view host, NameResolverEvents& e) override {
        hosts.emplace_back(host);
        events = &e;
        return true;
    }
    void cancel() override { events = nullptr; }
    std::vector<std::string> hosts;
    NameResolverEvents* events = nullptr;
};

// Records every call out of the transport, in order.
struct RecordingEvents final : TransportEvents {
    RegState regState() const override { return state; }
    void handleDatagram(std::span<const uint8_t> d) override { datagrams.emplace_back(d.begin(), d.end()); }
    void startRegistration() override { calls.push_back("startRegistration"); }
    void sendLogoff() override { calls.push_back("sendLogoff"); }
    void queueVoiceDatagram(std::span<const uint8_t>) override {}
    bool phoneWindowExists() const override { return true; }
    void setWindowTitle(std::string_view title) override { calls.push_back("title:" + std::string(title)); }
    void showMessage(std::string_view text) override { calls.push_back("message:" + std::string(text)); }
    void cancelWindow() override { calls.push_back("cancel"); }
    std::string serverAddress() const override { return server; }
    RegState state = RegState::Registering;
    std::string server = "10.1.2.3";
    std::vector<std::string> calls;
    std::vector<Bytes> datagrams;
};

class TransportTest : public ::testing::Test {
protected:
    void sendNotification(size_t socketIndex) { sockets.records.at(socketIndex)->events->onSend(0); }
    void receiveNotification(size_t socketIndex) { sockets.records.at(socketIndex)->events->onReceive(0); }
    size_t sendFrame(const std::string& text) { return transport.sendSignalling(bytesOf(text)); }
    size_t sendPacket(const std::string& text) { return transport.sendVoice(bytesOf(text)); }
    // A registered signalling socket (index 0) whose peer is 10.1.2.3.
    void connectSignalling() {
        sockets.nextPeer = 0x0A010203;
        transport.ensureSignallingSocket();
        sendNotification(0);
        sockets.nextPeer = 0;
    }

    FakeSocketFactory sockets;
    FakeResolver resolver;
    RecordingEvents events;
    Mutex engineLock;  // held by the test where the transport expects it
    Transport transport{sockets, resolver, events, engineLock};
};

// A name, taken up to its first zero and at most 63 characters, is looked up
// first; the socket connects to the answer unless it came after a close.
TEST_F(TransportTest, SignallingSocketWaitsForAcceptedSettingsThenConnectsToPort9877) {
    for (RegState waiting : {RegState::Validate, RegState::SettingsInvalid}) {
        events.state = waiting;
        transport.ensureSignallingSocket();
    }
    EXPECT_EQ(sockets.attempts, 0);
    events.state = RegState::Registering;
    events.server = std::string(64, 'h');
    transport.ensureSignallingSocket();
    EXPECT_EQ(resolver.hosts.back(), std::string(63, 'h'));
    NameResolverEvents* stale = resolver.events;
    transport.closeSignallingSocket();
    stale->onResolved(0x0A010209);  // answered after the close: ignored
    EXPECT_EQ(sockets.attempts, 0);
    events.server = std::string("host.example\0trailing", 21);
    transport.ensureSignallingSocket();
    transport.ensureSignallingSocket();  // still waiting for the answer
    EXPECT_EQ(resolver.hosts, (std::vector<std::string>{std::string(63, 'h'), "host.example"}));
    resolver.events->onResolved(0x0A010204);
    EXPECT_EQ(sockets.last().host, "10.1.2.4");
    EXPECT_EQ(sockets.last().port, 9877);
    transport.ensureSignallingSocket();  // already there
    EXPECT_EQ(sockets.attempts, 1);
}

// The timer thread's tick takes the engine lock; a name server that takes
// its time must hold up neither that nor the window thread. The lookup here
// waits until the timer thread has ticked 30 times (3 s).
TEST(TransportNameLookup, ASlowLookupHoldsUpNeitherTheEngineTickNorTheWindowThread) {
    std::latch ticked(1);
    PollEventLoop loop;
    ThreadNameResolver names(loop, [&](const std::string& host) {
        ticked.wait();
        return host == "pbx.example" ? 0x0A010205u : 0u;
    });
    FakeSocketFactory sockets;
    RecordingEvents events;
    events.server = "pbx.example";
    Mutex engineLock;
    Transport transport(sockets, names, events, engineLock);
    {
        const MutexLock lock(engineLock);
        transport.ensureSignallingSocket();
        EXPECT_TRUE(transport.resolving());
    }
    int ticks = 0;
    std::thread timer([&] {
        for (int i = 0; i < 30; ++i) {
            const MutexLock lock(engineLock);
            ++ticks;
        }
        ticked.count_down();
    });
    sockets.onMake = [&] { loop.quit(); };
    loop.run();  // the window thread meanwhile: the answer comes through its loop
    timer.join();
    const MutexLock lock(engineLock);
    EXPECT_EQ(ticks, 30);
    EXPECT_FALSE(transport.resolving());
    EXPECT_EQ(sockets.last().host, "10.1.2.5");
}

TEST_F(TransportTest, AnySignallingSetupFailureIsASocketFaultUntilTheShellClosesTheSocket) {
    for (int failure = 0; failure < 4; ++failure) {
        FakeSocketFactory failing;
        FakeResolver names;
        RecordingEvents seen;
        Transport faulty(failing, names, seen, engineLock);
        failing.failAllocation = failure == 0;
        failing.failCreate = failure == 1;
        failing.failConnect = failure == 2;
        if (failure == 3) seen.server = "no-such-host.invalid";

        faulty.ensureSignallingSocket();
        if (failure == 3) names.events->onResolved(0);  // a name without an address
        EXPECT_TRUE(faulty.socketFault());
        EXPECT_FALSE(faulty.hasSignallingSocket());
        EXPECT_EQ(seen.calls, std::vector<std::string>{"title:Socket Fault"});

        // No further attempt, however often the window refreshes, and frames
        // are dropped.
        faulty.ensureSignallingSocket();
        faulty.ensureSignallingSocket();
        EXPECT_EQ(static_cast<size_t>(failing.attempts) + names.hosts.size(), 1u);
        EXPECT_EQ(seen.calls.size(), 1u);
        const Bytes frame = bytesOf("frame");
        EXPECT_EQ(faulty.sendSignalling(frame), 0u);

        // The engine restart after a dialog tries again.
        faulty.closeSignallingSocket();
        EXPECT_FALSE(faulty.socketFault());
        faulty.ensureSignallingSocket();
        EXPECT_EQ(static_cast<size_t>(failing.attempts) + names.hosts.size(), 2u);
    }
}

// Each new socket's first send notification starts registration once; after
// a restart frames go out before it (signalling writable is never cleared).
TEST_F(TransportTest, FirstSendNotificationStartsRegistrationOnceAndOpensTheWayForFrames) {
    transport.ensureSignallingSocket();
    EXPECT_EQ(sendFrame("early"), 0u);
    sendNotification(0);
    sendNotification(0);
    EXPECT_EQ(sendFrame("frame"), 5u);
    EXPECT_EQ(sockets.last().sent, std::vector<Bytes>{bytesOf("frame")});
    transport.closeSignallingSocket();
    EXPECT_EQ(sendFrame("none"), 0u);
    transport.ensureSignallingSocket();
    EXPECT_EQ(sendFrame("logoff"), 6u);
    EXPECT_EQ(events.calls, std::vector<std::string>{"startRegistration"});
    sendNotification(1);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"startRegistration", "startRegistration"}));
}

// An over-long datagram is dropped and ends that round; nothing is taken
// while the engine validates its settings.
TEST_F(TransportTest, ReceivedDatagramsReachTheEngineInOrderButNotOverlongOrWhileValidating) {
    connectSignalling();
    auto& incoming = sockets.last().incoming;
    incoming = {bytesOf("first"), Bytes(256, 0x11), Bytes(257, 0x22), bytesOf("after")};
    receiveNotification(0);
    EXPECT_EQ(events.datagrams, (std::vector<Bytes>{bytesOf("first"), Bytes(256, 0x11)}));
    events.state = RegState::Validate;
    receiveNotification(0);
    EXPECT_EQ(incoming.size(), 1u);
    events.state = RegState::Registering;
    receiveNotification(0);
    EXPECT_EQ(events.datagrams.back(), bytesOf("after"));
}

TEST_F(TransportTest, ASecondVoiceChannelReplacesTheSocketAndDropsPacketsUntilItCanSend) {
    connectSignalling();
    transport.openVoiceChannel(5004, 0);
    EXPECT_EQ(sockets.last().host, "10.1.2.3");  // the signalling peer unless given an address
    EXPECT_EQ(sendPacket("too early"), 0u);
    sendNotification(1);
    EXPECT_EQ(sendPacket("rtp"), 3u);
    transport.openVoiceChannel(6000, 0xC0A80001);
    EXPECT_EQ(sockets.last().host, "192.168.0.1");
    EXPECT_EQ(sendPacket("between"), 0u);
    sendNotification(2);
    EXPECT_EQ(sendPacket("rtp2"), 4u);
    transport.closeVoiceSocket();
    EXPECT_EQ(sendPacket("late"), 0u);
    EXPECT_EQ(sockets.records[1]->sent, std::vector<Bytes>{bytesOf("rtp")});
    EXPECT_EQ(sockets.records[2]->sent, std::vector<Bytes>{bytesOf("rtp2")});
}

// While the application ends, further voice channels do nothing.
TEST_F(TransportTest, VoiceSetupFailureSaysSoLogsOffAndClosesTheWindow) {
    connectSignalling();
    sockets.failConnect = true;
    transport.openVoiceChannel(5004, 0);
    EXPECT_FALSE(transport.hasVoiceSocket());
    EXPECT_EQ(events.calls, (std::vector<std::string>{"startRegistration", "message:Socket fault!",
                                                      "sendLogoff", "cancel"}));
    sockets.failConnect = false;
    transport.openVoiceChannel(5004, 0);
    EXPECT_EQ(sockets.attempts, 2);
}

TEST_F(TransportTest, SendVoiceOnTheAudioThreadNeverRacesAReplacementOrClose) {
    connectSignalling();
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        const Bytes packet(60, 0x5A);
        while (!stop.load()) transport.sendVoice(packet);
    });
    for (int round = 0; round < 300; ++round) {
        const MutexLock lock(engineLock);
        transport.openVoiceChannel(static_cast<uint16_t>(5000 + round), 0);
        transport.voiceSendReady();
        if (round % 3 == 0) transport.closeVoiceSocket();
    }
    stop = true;
    audio.join();
    for (const auto& record : sockets.records)
        for (const Bytes& sent : record->sent) EXPECT_NE(sent, bytesOf("SENT AFTER CLOSE"));
}

}  // namespace
}  // namespace vorpel
