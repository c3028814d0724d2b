#include "app/transport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "platform/poll_event_loop.h"
#include "platform/thread_name_resolver.h"
#include "transport_fakes.h"

namespace vorpel {
namespace {

using testing::Bytes;
using testing::bytesOf;

class TransportTest : public ::testing::Test {
protected:
    // The notifications a socket layer delivers; the engine lock is free here.
    void sendNotification(size_t socketIndex) { sockets.records.at(socketIndex)->events->onSend(0); }
    void receiveNotification(size_t socketIndex) { sockets.records.at(socketIndex)->events->onReceive(0); }
    size_t sendFrame(const std::string& text) {
        const Bytes frame = bytesOf(text);
        return transport.sendSignalling(frame);
    }
    size_t sendPacket(const std::string& text) {
        const Bytes packet = bytesOf(text);
        return transport.sendVoice(packet);
    }
    // A registered signalling socket (index 0) whose peer is 10.1.2.3.
    void connectSignalling() {
        sockets.nextPeer = 0x0A010203;
        transport.ensureSignallingSocket();
        ASSERT_TRUE(transport.hasSignallingSocket());
        sendNotification(0);
        sockets.nextPeer = 0;
    }

    testing::FakeSocketFactory sockets;
    testing::FakeResolver resolver;
    testing::RecordingTransportEvents events;
    Mutex engineLock;  // held by the test where the transport expects it
    Transport transport{sockets, resolver, events, engineLock};
};

TEST_F(TransportTest, SignallingSocketWaitsForAcceptedSettingsThenConnectsToPort9877) {
    for (RegState waiting : {RegState::Validate, RegState::SettingsInvalid}) {
        events.state = waiting;
        transport.ensureSignallingSocket();
        EXPECT_EQ(sockets.attempts, 0);
    }

    events.state = RegState::Registering;
    transport.ensureSignallingSocket();
    ASSERT_EQ(sockets.attempts, 1);
    EXPECT_TRUE(sockets.last().created);
    EXPECT_EQ(sockets.last().host, "10.1.2.3");
    EXPECT_EQ(sockets.last().port, 9877);

    transport.ensureSignallingSocket();  // already there
    EXPECT_EQ(sockets.attempts, 1);

    // A name, taken up to its first zero and at most 63 characters, is
    // looked up first; the socket connects to the answer.
    transport.closeSignallingSocket();
    events.server = std::string(64, 'h');
    transport.ensureSignallingSocket();
    EXPECT_EQ(resolver.hosts.back(), std::string(63, 'h'));

    transport.closeSignallingSocket();
    events.server = std::string("host.example\0trailing", 21);
    transport.ensureSignallingSocket();
    EXPECT_EQ(resolver.hosts.back(), "host.example");
    transport.ensureSignallingSocket();  // still waiting for the answer
    EXPECT_EQ(resolver.hosts.size(), 2u);
    resolver.events->onResolved(0x0A010204);
    EXPECT_EQ(sockets.last().host, "10.1.2.4");
    EXPECT_EQ(sockets.attempts, 2);
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
    testing::FakeSocketFactory sockets;
    testing::RecordingTransportEvents events;
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
        testing::FakeSocketFactory failing;
        testing::FakeResolver names;
        testing::RecordingTransportEvents seen;
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

TEST_F(TransportTest, FirstSendNotificationStartsRegistrationOnceAndOpensTheWayForFrames) {
    transport.ensureSignallingSocket();
    EXPECT_EQ(sendFrame("early"), 0u);
    EXPECT_TRUE(sockets.last().sent.empty());

    sendNotification(0);
    sendNotification(0);
    EXPECT_EQ(events.calls, std::vector<std::string>{"startRegistration"});
    EXPECT_EQ(sendFrame("frame"), 5u);
    EXPECT_EQ(sockets.last().sent, std::vector<Bytes>{bytesOf("frame")});
}

TEST_F(TransportTest, AfterARestartFramesGoOutBeforeTheNewSocketsNotificationWhichStartsRegistration) {
    connectSignalling();
    transport.closeSignallingSocket();
    EXPECT_TRUE(sockets.records[0]->closed);
    EXPECT_EQ(sendFrame("none"), 0u);

    transport.ensureSignallingSocket();
    ASSERT_EQ(sockets.records.size(), 2u);
    EXPECT_FALSE(transport.registrationStarted());
    EXPECT_EQ(sendFrame("logoff"), 6u);  // signalling writable is never cleared
    EXPECT_EQ(sockets.records[1]->sent.size(), 1u);
    sendNotification(1);
    EXPECT_EQ(events.calls, (std::vector<std::string>{"startRegistration", "startRegistration"}));
}

TEST_F(TransportTest, SendingCutsLongDataInto1024ByteDatagramsAndSumsWhatWasAccepted) {
    connectSignalling();
    const Bytes data(2500, 0x42);
    EXPECT_EQ(transport.sendSignalling(data), 2500u);
    const auto& sent = sockets.last().sent;
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].size(), 1024u);
    EXPECT_EQ(sent[1].size(), 1024u);
    EXPECT_EQ(sent[2].size(), 452u);

    sockets.last().acceptLimit = 0;  // would block
    EXPECT_EQ(sendFrame("blocked"), 0u);
}

TEST_F(TransportTest, ReceivedDatagramsReachTheEngineInOrderButNotOverlongOrWhileValidating) {
    connectSignalling();
    auto& incoming = sockets.last().incoming;
    incoming.push_back(bytesOf("first"));
    incoming.push_back(Bytes(256, 0x11));  // the longest that fits
    incoming.push_back(Bytes(257, 0x22));
    incoming.push_back(bytesOf("after"));
    receiveNotification(0);
    ASSERT_EQ(events.datagrams.size(), 2u);
    EXPECT_EQ(events.datagrams[0], bytesOf("first"));
    EXPECT_EQ(events.datagrams[1], Bytes(256, 0x11));

    // The over-long datagram ended that round; the next notification goes on.
    receiveNotification(0);
    ASSERT_EQ(events.datagrams.size(), 3u);
    EXPECT_EQ(events.datagrams[2], bytesOf("after"));

    // Nothing is taken while the engine validates its settings.
    sockets.last().incoming.push_back(bytesOf("stale"));
    events.state = RegState::Validate;
    receiveNotification(0);
    EXPECT_EQ(events.datagrams.size(), 3u);
    EXPECT_EQ(sockets.last().incoming.size(), 1u);
}

TEST_F(TransportTest, VoiceChannelConnectsToTheSignallingPeerUnlessGivenAnAddress) {
    connectSignalling();
    transport.openVoiceChannel(5004, 0);
    ASSERT_TRUE(transport.hasVoiceSocket());
    EXPECT_EQ(sockets.last().host, "10.1.2.3");
    EXPECT_EQ(sockets.last().port, 5004);
    EXPECT_FALSE(transport.voiceOpening());

    sockets.last().incoming.push_back(bytesOf("rtp-a"));
    sockets.last().incoming.push_back(bytesOf("rtp-b"));
    receiveNotification(1);
    EXPECT_EQ(events.voiceDatagrams, (std::vector<Bytes>{bytesOf("rtp-a"), bytesOf("rtp-b")}));
    EXPECT_TRUE(events.datagrams.empty());

    transport.openVoiceChannel(6000, 0xC0A80001);
    EXPECT_EQ(sockets.last().host, "192.168.0.1");
    EXPECT_EQ(sockets.last().port, 6000);
}

TEST_F(TransportTest, ASecondVoiceChannelReplacesTheSocketAndDropsPacketsUntilItCanSend) {
    connectSignalling();
    transport.openVoiceChannel(5004, 0);
    EXPECT_EQ(sendPacket("too early"), 0u);
    sendNotification(1);
    EXPECT_EQ(sendPacket("rtp"), 3u);

    transport.openVoiceChannel(5006, 0);
    EXPECT_TRUE(sockets.records[1]->closed);
    EXPECT_FALSE(transport.voiceWritable());
    EXPECT_EQ(sendPacket("between"), 0u);
    sendNotification(2);
    EXPECT_EQ(sendPacket("rtp2"), 4u);
    EXPECT_EQ(sockets.records[1]->sent, std::vector<Bytes>{bytesOf("rtp")});
    EXPECT_EQ(sockets.records[2]->sent, std::vector<Bytes>{bytesOf("rtp2")});

    transport.closeVoiceSocket();
    EXPECT_TRUE(sockets.records[2]->closed);
    EXPECT_EQ(sendPacket("late"), 0u);
}

TEST_F(TransportTest, VoiceChannelWithoutAPhoneWindowOpensNothingAndDoesNotBlockTheNextOne) {
    connectSignalling();
    events.windowExists = false;
    transport.openVoiceChannel(5004, 0);
    EXPECT_FALSE(transport.hasVoiceSocket());
    EXPECT_FALSE(transport.voiceOpening());

    events.windowExists = true;
    transport.openVoiceChannel(5004, 0);
    EXPECT_TRUE(transport.hasVoiceSocket());
}

TEST_F(TransportTest, VoiceSetupFailureSaysSoLogsOffAndClosesTheWindow) {
    connectSignalling();
    events.calls.clear();
    sockets.failConnect = true;
    transport.openVoiceChannel(5004, 0);
    EXPECT_FALSE(transport.hasVoiceSocket());
    EXPECT_EQ(events.calls, (std::vector<std::string>{"message:Socket fault!", "sendLogoff", "cancel"}));
    EXPECT_TRUE(sockets.last().closed);

    // While the application ends, further voice channels do nothing.
    sockets.failConnect = false;
    const int attempts = sockets.attempts;
    transport.openVoiceChannel(5004, 0);
    EXPECT_EQ(sockets.attempts, attempts);
}

TEST_F(TransportTest, NotificationsForAClosedSocketDoNothing) {
    connectSignalling();
    transport.openVoiceChannel(5004, 0);
    UdpSocketEvents* voiceEvents = sockets.records[1]->events;
    UdpSocketEvents* signallingEvents = sockets.records[0]->events;
    transport.closeVoiceSocket();
    transport.closeSignallingSocket();
    events.calls.clear();
    voiceEvents->onSend(0);
    voiceEvents->onReceive(0);
    signallingEvents->onSend(0);
    signallingEvents->onReceive(0);
    EXPECT_FALSE(transport.voiceWritable());
    EXPECT_TRUE(events.calls.empty());
}

TEST_F(TransportTest, SendVoiceOnTheAudioThreadNeverRacesAReplacementOrClose) {
    connectSignalling();
    std::atomic<bool> stop{false};
    std::atomic<size_t> accepted{0};
    std::thread audio([&] {
        const Bytes packet(60, 0x5A);
        while (!stop.load()) accepted += transport.sendVoice(packet);
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
