// A voice call through vorpel-console with file audio: the scripted server
// opens the voice channel and starts voice, receives the terminal's RTP
// packets, and sends G.729 Annex A frames whose decoded samples must turn up
// in the terminal's playback file.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cmath>
#include <fstream>
#include <thread>

#include "codec/g729a.h"
#include "codec/g729a_state.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint8_t FRAME_MASK = 0x5A;
constexpr size_t FRAMES_PER_PACKET = 10;
constexpr size_t PACKETS_SENT = 30;
constexpr size_t PACKETS_TO_MATCH = 8;  // 800 ms of decoded speech found whole in the playback file

uint16_t be16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }
uint32_t be32(const Bytes& b, size_t at) { return static_cast<uint32_t>(be16(b, at)) << 16 | be16(b, at + 2); }

// The server's speech: a tone gliding through the voice band, encoded frame by frame.
std::vector<std::array<uint8_t, G729_FRAME_BYTES>> serverFrames(size_t count) {
    G729Encoder encoder{};
    resetEncoder(encoder);
    std::vector<std::array<uint8_t, G729_FRAME_BYTES>> frames(count);
    double phase = 0;
    for (size_t f = 0; f < count; ++f) {
        std::array<int16_t, G729_FRAME_SAMPLES> samples{};
        for (size_t i = 0; i < samples.size(); ++i) {
            const double hz = 300.0 + 2.0 * static_cast<double>(f * G729_FRAME_SAMPLES + i) / 80.0;
            phase += 2 * M_PI * hz / 8000.0;
            samples[i] = static_cast<int16_t>(6000 * std::sin(phase));
        }
        encodeFrame(encoder, samples, frames[f]);
    }
    return frames;
}

std::vector<int16_t> decodeFrom(const std::vector<std::array<uint8_t, G729_FRAME_BYTES>>& frames, size_t first,
                                size_t count) {
    G729Decoder decoder{};
    resetDecoder(decoder);
    std::vector<int16_t> pcm(count * G729_FRAME_SAMPLES);
    for (size_t f = 0; f < count; ++f) {
        decodeFrame(decoder, frames[first + f], false,
                    std::span<int16_t, G729_FRAME_SAMPLES>(pcm.data() + f * G729_FRAME_SAMPLES, G729_FRAME_SAMPLES));
    }
    return pcm;
}

std::vector<int16_t> readSamples(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | (static_cast<uint8_t>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

bool contains(const std::vector<int16_t>& haystack, const std::vector<int16_t>& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

TEST(VoiceCall, RtpBothWaysAndDecodedFramesInThePlaybackFile) {
    TerminalFixture t;
    ASSERT_TRUE(t.server().socket().ok());
    ASSERT_TRUE(t.provision(TerminalAccount{}));
    UdpEndpoint voice(t.server().address(), 0);
    ASSERT_TRUE(voice.ok());
    t.start();
    ASSERT_TRUE(t.connect());

    Bytes start = ScriptedServer::voiceChannel(voice.port(), 0);  // the signalling server's own address
    const Bytes audioOn = ScriptedServer::audioControl(0);
    start.insert(start.end(), audioOn.begin(), audioOn.end());
    t.server().sendDataFrame(start);
    ASSERT_TRUE(t.sawLine("audio voice"));
    ASSERT_TRUE(t.sawLine("buttons 011111111111"));

    // The terminal's packets: 10 frames each, in the clear (no key was agreed), every 100 ms.
    const auto frames = serverFrames(PACKETS_SENT * FRAMES_PER_PACKET);
    std::vector<Bytes> received;
    std::vector<Clock::time_point> arrivals;
    // The server learns where to send from the terminal's first packet.
    const auto first = voice.receive(STEP);
    ASSERT_TRUE(first) << "no voice packet from the terminal";
    received.push_back(*first);
    arrivals.push_back(Clock::now());
    const auto begin = Clock::now();
    size_t sent = 0;
    while (sent < PACKETS_SENT && Clock::now() - begin < 20s) {
        // One server packet per 100 ms of wall time.
        if (Clock::now() >= begin + std::chrono::milliseconds(100 * sent)) {
            Bytes packet{0x80, 0x48, 0, static_cast<uint8_t>(sent), 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44};
            const uint32_t timestamp = static_cast<uint32_t>(sent * FRAMES_PER_PACKET * G729_FRAME_SAMPLES);
            for (int i = 0; i < 4; ++i) packet[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
            for (size_t f = 0; f < FRAMES_PER_PACKET; ++f) {
                auto frame = frames[sent * FRAMES_PER_PACKET + f];
                frame[0] ^= FRAME_MASK;
                packet.insert(packet.end(), frame.begin(), frame.end());
            }
            voice.send(packet);
            ++sent;
        }
        if (auto datagram = voice.receive(5ms)) {
            received.push_back(*datagram);
            arrivals.push_back(Clock::now());
        }
    }
    ASSERT_EQ(sent, PACKETS_SENT);
    ASSERT_GE(received.size(), 20u);
    for (size_t i = 0; i < received.size(); ++i) {
        const Bytes& p = received[i];
        ASSERT_EQ(p.size(), 112u) << i;
        EXPECT_EQ(p[0], 0x80);
        EXPECT_EQ(p[1], 0x48);
        if (i > 0) {
            EXPECT_EQ(static_cast<uint16_t>(be16(p, 2) - be16(received[i - 1], 2)), 1) << i;
            EXPECT_EQ(be32(p, 4) - be32(received[i - 1], 4), 800u) << i;
            EXPECT_EQ(be32(p, 8), be32(received[0], 8));
        }
    }
    // In steady state: the first few may come bunched while the audio thread
    // catches up with the blocks captured before the voice socket could send.
    constexpr size_t SETTLE = 5;
    const double seconds = std::chrono::duration<double>(arrivals.back() - arrivals[SETTLE]).count();
    const double interval = seconds / static_cast<double>(arrivals.size() - 1 - SETTLE);
    EXPECT_NEAR(interval, 0.1, 0.02) << "mean packet interval " << interval << " s";

    t.server().sendDataFrame(ScriptedServer::audioControl(1));  // release
    ASSERT_TRUE(t.sawLine("audio idle"));
    t.console().writeLine("quit");
    ASSERT_EQ(t.console().wait(STEP), 0);

    // The terminal decodes from a fresh decoder starting with the first packet
    // it keeps (its fixed-delay ring may drop the first one or two as late).
    const auto played = readSamples(t.playbackFile());
    bool found = false;
    for (size_t firstPacket = 0; firstPacket < 4 && !found; ++firstPacket) {
        const auto expected = decodeFrom(frames, firstPacket * FRAMES_PER_PACKET, PACKETS_TO_MATCH * FRAMES_PER_PACKET);
        found = contains(played, expected);
    }
    EXPECT_TRUE(found) << "no run of " << PACKETS_TO_MATCH << " decoded packets in " << played.size() << " samples";
}

}  // namespace
}  // namespace vorpel::e2e
