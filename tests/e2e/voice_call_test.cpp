// Voice calls through vorpel-console with file audio: the scripted server
// opens the voice channel and starts voice, receives the terminal's RTP
// packets, and sends G.729 Annex A frames whose decoded samples must turn up
// in the terminal's playback file; in the clear, and encrypted under a key
// agreed with the server's own (OpenSSL) side. And the ring melody.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

#include "audio_signal.h"
#include "server_keys.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t RATE = 8000;
constexpr size_t FRAMES_PER_PACKET = 10;
constexpr size_t PACKETS_SENT = 30;
constexpr size_t PACKETS_TO_MATCH = 8;  // 800 ms of decoded speech found whole in the playback file
constexpr uint16_t TERMINAL_ID = 0x1234;

uint16_t be16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }
uint32_t be32(const Bytes& b, size_t at) {
    return static_cast<uint32_t>(be16(b, at)) << 16 | be16(b, at + 2);
}

// Clear packet number n of the server's voice, frames n*10 to n*10+9.
Bytes serverPacket(size_t n, const std::vector<Frame>& frames) {
    Bytes packet{0x80, 0x48, 0, static_cast<uint8_t>(n), 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
    const uint32_t timestamp = static_cast<uint32_t>(n * FRAMES_PER_PACKET * G729_FRAME_SAMPLES);
    for (int i = 0; i < 4; ++i) packet[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
    for (size_t f = 0; f < FRAMES_PER_PACKET; ++f) {
        Frame frame = frames[n * FRAMES_PER_PACKET + f];
        frame[0] ^= FRAME_MASK;
        packet.insert(packet.end(), frame.begin(), frame.end());
    }
    return packet;
}

// The server's speech: tones stepping through the voice band.
std::vector<Frame> serverFrames() {
    return encodeAll(toneSteps(PACKETS_SENT * FRAMES_PER_PACKET * 80, 6000));
}

class VoiceCallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(t.server().socket().ok());
        ASSERT_TRUE(voice.ok());
        ASSERT_TRUE(t.provision(TerminalAccount{}));
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << t.transcript();
    }

    // The voice channel at the signalling server's own address, and voice on.
    void startVoice() {
        Bytes start = ScriptedServer::voiceChannel(voice.port(), 0);
        const Bytes audioOn = ScriptedServer::audioControl(0);
        start.insert(start.end(), audioOn.begin(), audioOn.end());
        t.server().sendDataFrame(start);
        ASSERT_TRUE(t.sawLine("audio voice"));
        // The buttons follow on the next tick, which may come before the
        // audio thread has reported voice.
        const auto& seen = t.console().lines();
        if (std::find(seen.begin(), seen.end(), "buttons 011111111111") == seen.end()) {
            ASSERT_TRUE(t.sawLine("buttons 011111111111"));
        }
    }

    // The server's side of the call: one packet (made by wrap from the clear
    // one) per 100 ms of wall time, and the terminal's packets collected.
    // midway runs once, after half the packets have gone.
    void exchange(
        const std::vector<Frame>& frames, const std::function<Bytes(const Bytes&)>& wrap,
        const std::function<void()>& midway = [] {}) {
        // The server learns where to send from the terminal's first packet.
        const auto first = voice.receive(STEP);
        ASSERT_TRUE(first) << "no voice packet from the terminal";
        received.push_back(*first);
        arrivals.push_back(Clock::now());
        const auto begin = Clock::now();
        size_t sent = 0;
        while (sent < PACKETS_SENT && Clock::now() - begin < 20s) {
            if (Clock::now() >= begin + std::chrono::milliseconds(100 * sent)) {
                voice.send(wrap(serverPacket(sent, frames)));
                if (++sent == PACKETS_SENT / 2) midway();
            }
            if (auto datagram = voice.receive(5ms)) {
                received.push_back(*datagram);
                arrivals.push_back(Clock::now());
            }
        }
        ASSERT_EQ(sent, PACKETS_SENT);
        ASSERT_GE(received.size(), 20u);
    }

    // RTP fields of the terminal's packets (clear ones): one sequence number
    // and 800 samples of timestamp apart, one SSRC.
    static void expectOneStream(const std::vector<Bytes>& packets) {
        for (size_t i = 1; i < packets.size(); ++i) {
            EXPECT_EQ(static_cast<uint16_t>(be16(packets[i], 2) - be16(packets[i - 1], 2)), 1) << i;
            EXPECT_EQ(be32(packets[i], 4) - be32(packets[i - 1], 4), 800u) << i;
            EXPECT_EQ(be32(packets[i], 8), be32(packets[0], 8));
        }
    }

    void endCallAndQuit() {
        t.server().sendDataFrame(ScriptedServer::audioControl(1));  // release
        ASSERT_TRUE(t.sawLine("audio idle"));
        t.console().writeLine("quit");
        ASSERT_EQ(t.console().wait(STEP), 0);
    }

    // The terminal decodes from a fresh decoder starting with the first packet
    // it keeps (its fixed-delay ring may drop the first one or two as late).
    bool playbackHoldsDecoded(const std::vector<Frame>& frames) const {
        const auto played = readSamples(t.playbackFile());
        for (size_t firstPacket = 0; firstPacket < 4; ++firstPacket) {
            const auto begin = frames.begin() + static_cast<std::ptrdiff_t>(firstPacket * FRAMES_PER_PACKET);
            const auto expected =
                decodeAll(std::vector<Frame>(begin, begin + PACKETS_TO_MATCH * FRAMES_PER_PACKET));
            if (std::search(played.begin(), played.end(), expected.begin(), expected.end()) != played.end())
                return true;
        }
        return false;
    }

    TerminalFixture t;
    UdpEndpoint voice{t.server().address(), 0};
    std::vector<Bytes> received;
    std::vector<Clock::time_point> arrivals;
};

TEST_F(VoiceCallTest, RtpBothWaysAndDecodedFramesInThePlaybackFile) {
    t.start();
    ASSERT_TRUE(t.connect());
    ASSERT_NO_FATAL_FAILURE(startVoice());
    const auto frames = serverFrames();
    // No key was agreed: voice travels in the clear.
    ASSERT_NO_FATAL_FAILURE(exchange(frames, [](const Bytes& p) { return p; }));
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i].size(), 112u) << i;
        EXPECT_EQ(received[i][0], 0x80);
        EXPECT_EQ(received[i][1], 0x48);
    }
    expectOneStream(received);
    // In steady state: the first few may come bunched while the audio thread
    // catches up with the blocks captured before the voice socket could send.
    constexpr size_t SETTLE = 5;
    const double seconds = std::chrono::duration<double>(arrivals.back() - arrivals[SETTLE]).count();
    const double interval = seconds / static_cast<double>(arrivals.size() - 1 - SETTLE);
    EXPECT_NEAR(interval, 0.1, 0.02) << "mean packet interval " << interval << " s";

    // The call's counts, exact on loopback: asked until the server's last
    // packet is in, then once more as the call ends, after which every packet
    // the terminal sent has arrived here.
    const std::string allIn = " received=" + std::to_string(PACKETS_SENT) + " ";
    for (auto deadline = Clock::now() + STEP; Clock::now() < deadline; std::this_thread::sleep_for(20ms)) {
        t.console().writeLine("stats");
        const auto stats = t.console().waitForPrefix("stats ", STEP);
        if (stats && stats->find(allIn) != std::string::npos) break;
    }
    t.server().sendDataFrame(ScriptedServer::audioControl(1));  // release
    ASSERT_TRUE(t.sawLine("audio idle"));
    const auto stats = t.console().waitForPrefix("stats ", STEP);
    while (const auto late = voice.receive(100ms)) received.push_back(*late);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->substr(0, stats->find(" played=") + 1),
              "stats sent=" + std::to_string(received.size()) + allIn);
    t.console().writeLine("quit");
    ASSERT_EQ(t.console().wait(STEP), 0);
    EXPECT_TRUE(playbackHoldsDecoded(frames)) << "no run of " << PACKETS_TO_MATCH << " decoded packets";
}

TEST_F(VoiceCallTest, EncryptedVoiceBothWaysUnderTheAgreedKey) {
    const auto spoken = toneSteps(8 * RATE, 8000);
    ASSERT_TRUE(writeSamples(t.captureFile(), spoken));
    t.start();
    // Registration with the server's public value: from here on both sides
    // hold the same session key, each computed on its own.
    ServerKeys keys;
    const auto request = t.server().expect(ScriptedServer::isRegistrationRequest, STEP);
    ASSERT_TRUE(request);
    ASSERT_EQ(request->size(), 137u);
    ASSERT_TRUE(keys.agree(Bytes(request->end() - PUBLIC_VALUE_BYTES, request->end())));
    t.server().socket().send(keys.registrationReply(TERMINAL_ID));
    ASSERT_TRUE(t.server().expect(ScriptedServer::isConnectRequest, STEP));
    t.server().sendConnectConfirm();
    ASSERT_TRUE(t.server().expect(ScriptedServer::isDataFrame, STEP));  // the announce
    ASSERT_NO_FATAL_FAILURE(startVoice());

    // Halfway a ring melody arrives; during voice it must change nothing.
    Bytes melody{0x50, 0x22, 0};
    melody.insert(melody.end(), 32, 0x29);
    const auto frames = serverFrames();
    ASSERT_NO_FATAL_FAILURE(exchange(
        frames, [&](const Bytes& p) { return keys.seal(p); }, [&] { t.server().sendDataFrame(melody); }));
    ASSERT_NO_FATAL_FAILURE(endCallAndQuit());
    EXPECT_EQ(std::count(t.console().lines().begin(), t.console().lines().end(), "audio melody"), 0);

    // Ten frames (100 bytes) padded to 112 and encrypted: 124 bytes with the
    // padding bit; the padding (11 zeros and 12) must come out of the cipher.
    std::vector<Bytes> opened;
    for (size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i].size(), 124u) << i;
        EXPECT_EQ(received[i][0], 0xA0) << i;
        EXPECT_EQ(received[i][1], 0x48) << i;
        const auto clear = keys.open(received[i]);
        ASSERT_TRUE(clear) << "packet " << i << " does not decrypt under the server's key";
        ASSERT_EQ(clear->size(), 112u);
        opened.push_back(*clear);
    }
    expectOneStream(opened);
    // What the terminal said is its capture file (at an eighth of the level).
    const auto said = decodeAll(framesOf(opened));
    ASSERT_GE(said.size(), 2 * RATE);
    const std::vector<int16_t> part(said.begin() + RATE, said.begin() + RATE + RATE / 2);
    const Match match = bestMatch(part, spoken);
    std::printf("terminal's voice: correlation %.3f with its capture file at %.3f s\n", match.correlation,
                static_cast<double>(match.offset) / RATE);
    EXPECT_GT(match.correlation, 0.9);
    // What the server said, encrypted, is played.
    EXPECT_TRUE(playbackHoldsDecoded(frames)) << "no run of " << PACKETS_TO_MATCH << " decoded packets";
}

TEST_F(VoiceCallTest, RingMelodyPlaysItsNoteUntilTheAudioEnds) {
    t.start();
    ASSERT_TRUE(t.connect());
    // Tempo 0; every note row 9 (880 Hz, the A an octave above 440) of
    // duration code 1: 5 x 330 = 1650 samples each, 10 samples apart.
    Bytes melody{0x50, 0x22, 0};
    melody.insert(melody.end(), 32, 0x29);
    t.server().sendDataFrame(melody);
    ASSERT_TRUE(t.sawLine("audio melody"));
    // Two notes played, after the silent buffers the driver queues first.
    constexpr size_t NOTE = 1650;
    constexpr size_t INSIDE = 1400;  // of the first note, past its fade-in
    constexpr size_t ENOUGH_BYTES = 2 * (2 * RATE / 10 + 3 * NOTE);
    const auto deadline = Clock::now() + STEP;
    const auto playedBytes = [&] {
        std::error_code missing;
        const auto size = std::filesystem::file_size(t.playbackFile(), missing);
        return missing ? 0 : size;
    };
    while (Clock::now() < deadline && playedBytes() < ENOUGH_BYTES) {
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_NO_FATAL_FAILURE(endCallAndQuit());

    const auto played = readSamples(t.playbackFile());
    const auto sounding = std::find_if(played.begin(), played.end(), [](int16_t s) { return s != 0; });
    ASSERT_GE(static_cast<size_t>(played.end() - sounding), 2 * NOTE)
        << "melody too short: " << played.size();
    const int16_t* note = &*sounding + 100;
    const double level = rms(note, INSIDE);
    const double share = toneShare(note, INSIDE, 880);
    std::printf("melody: level %.0f, %.3f of its energy at 880 Hz, %.3f at 831 Hz, %.3f at 932 Hz\n", level,
                share, toneShare(note, INSIDE, 830.6), toneShare(note, INSIDE, 932.3));
    EXPECT_GT(level, 5000);
    EXPECT_GT(share, 0.9);
    // The second note is the same tone again: the melody repeats.
    EXPECT_GT(toneShare(note + NOTE + 10, INSIDE, 880), 0.9);
}

}  // namespace
}  // namespace vorpel::e2e
