// vorpel-console on its PortAudio devices, reaching a private PulseAudio
// daemon through ALSA: the test plays a signal into the microphone, the
// scripted server sends the terminal's own voice packets back, and what the
// speaker plays is recorded.
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "audio_signal.h"
#include "pulse_sound_server.h"
#include "terminal_fixture.h"

namespace vorpel::e2e {
namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t RATE = 8000;
constexpr auto CALL_LENGTH = 4s;
constexpr double FEED_AMPLITUDE = 8000;
// Stretches of 0.5 s compared after the first second of the call (start-up
// and the codec's own settling behind).
constexpr size_t COMPARED = RATE / 2;
constexpr size_t SETTLED = RATE;
#if defined(__SANITIZE_THREAD__)
// ThreadSanitizer slows the terminal below real time on a small machine: the
// devices overrun now and then and only part of the signal survives; silence
// or unrelated sound correlates far lower.
constexpr double LIKE = 0.3;
#else
constexpr double LIKE = 0.9;  // correlation of a signal with its G.729 round trip is well above this
#endif

const char* const SOUND_FAULT_LINE = "message \"Sount initialization fault!\"";

TEST(PulseAudioCall, SoundServerAudioGoesOutAsVoiceAndComesBackToTheSpeaker) {
    if (!PulseSoundServer::installed()) {
        GTEST_SKIP() << "pulseaudio, pactl, pacat or parec not installed "
                        "(Debian packages pulseaudio, pulseaudio-utils, libasound2-plugins)";
    }
    TerminalFixture t;
    ASSERT_TRUE(t.server().socket().ok());
    PulseSoundServer pulse(t.folder());
    ASSERT_TRUE(pulse.start()) << pulse.error();
    const auto feed = toneSteps(60 * RATE, FEED_AMPLITUDE);
    ASSERT_TRUE(writeSamples(t.folder() / "feed.raw", feed));
    ASSERT_TRUE(pulse.startFeederAndRecorder(t.folder() / "feed.raw")) << pulse.error();

    ASSERT_TRUE(t.provision(TerminalAccount{}));
    UdpEndpoint voice(t.server().address(), 0);
    ASSERT_TRUE(voice.ok());
    auto& console = t.startWith({}, pulse.clientEnvironment());
    ASSERT_TRUE(t.connect()) << t.transcript();
    Bytes start = ScriptedServer::voiceChannel(voice.port(), 0);
    const Bytes audioOn = ScriptedServer::audioControl(0);
    start.insert(start.end(), audioOn.begin(), audioOn.end());
    t.server().sendDataFrame(start);
    ASSERT_TRUE(t.sawLine("audio voice")) << t.transcript();

    // The server's part: every voice packet goes straight back.
    std::vector<Bytes> received;
    const auto end = Clock::now() + CALL_LENGTH;
    while (Clock::now() < end) {
        if (auto packet = voice.receive(10ms)) {
            received.push_back(*packet);
            voice.send(*packet);
        }
    }
    t.server().sendDataFrame(ScriptedServer::audioControl(1));
    EXPECT_TRUE(t.sawLine("audio idle")) << t.transcript();
    console.writeLine("quit");
    EXPECT_EQ(console.wait(STEP), 0) << t.transcript();
    pulse.stopFeederAndRecorder();

    // The microphone: what the terminal sent is the fed signal.
    const auto sent = decodeAll(framesOf(received));
    ASSERT_GE(sent.size(), SETTLED + COMPARED) << received.size() << " packets";
    const std::vector<int16_t> sentPart(sent.begin() + SETTLED, sent.begin() + SETTLED + COMPARED);
    const std::vector<int16_t> fedSoFar(feed.begin(), feed.begin() + 10 * RATE);
    const Match captured = bestMatch(sentPart, fedSoFar);
    std::printf("microphone: correlation %.3f with the fed signal at %.3f s, level %.3f of the fed one\n",
                captured.correlation, static_cast<double>(captured.offset) / RATE,
                rms(sentPart.data(), COMPARED) / rms(feed.data() + captured.offset, COMPARED));
    EXPECT_GT(captured.correlation, LIKE);

    // The speaker: what came back is played, whole and in order.
    const auto recorded = readSamples(pulse.recordingFile());
    const Match played = bestMatch(sentPart, recorded);
    const double level = rms(recorded.data() + played.offset, COMPARED) / rms(sentPart.data(), COMPARED);
    std::printf("speaker: correlation %.3f at %.3f s of %.3f s recorded, level %.3f of the sent one\n",
                played.correlation, static_cast<double>(played.offset) / RATE,
                static_cast<double>(recorded.size()) / RATE, level);
    EXPECT_GT(played.correlation, LIKE);
}

TEST(PulseAudioCall, NoSoundServerEndsInTheSoundFault) {
    // The same routing of ALSA's default device, but nothing listens on the
    // socket: PortAudio finds no device, and the terminal says so and ends.
    TerminalFixture t;
    ASSERT_TRUE(t.provision(TerminalAccount{}));
    PulseSoundServer pulse(t.folder());
    auto& console = t.startWith({}, pulse.clientEnvironment(false));
    EXPECT_TRUE(t.sawLine(SOUND_FAULT_LINE)) << t.transcript();
    EXPECT_TRUE(t.sawLine("exit 1")) << t.transcript();
    EXPECT_EQ(console.wait(STEP), 1) << t.transcript();
}

}  // namespace
}  // namespace vorpel::e2e
