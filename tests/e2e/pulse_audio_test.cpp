// vorpel-console on its PortAudio devices, reaching a private PulseAudio
// daemon through ALSA: the test plays a signal into the microphone, the
// scripted server sends the terminal's own voice packets back, and what the
// speaker plays is recorded.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
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
// The sent voice is cut into stretches of a quarter second from its second
// second on (start-up and the codec's settling behind); a stretch is clean
// when it is found in the other signal with a correlation above CLEAN, which
// a signal's G.729 round trip easily reaches and silence, noise or sound of
// the wrong rate or format does not. A busy machine can make the devices
// overrun now and then, cutting a stretch; a quarter of them must come
// through clean. Under ThreadSanitizer the terminal runs below real time on a
// small machine and one recognisable stretch has to do: there the run is
// about races.
#if defined(__SANITIZE_THREAD__)
constexpr bool BELOW_REAL_TIME = true;
constexpr double RECOGNISABLE = 0.6;
#else
constexpr bool BELOW_REAL_TIME = false;
constexpr double RECOGNISABLE = 0.9;
#endif
constexpr size_t STRETCH = RATE / 4;
constexpr size_t SETTLED = RATE;
constexpr double CLEAN = 0.9;
// Once a stretch is found, the next is looked for this close to where it
// should follow: overruns lose whole blocks, not seconds.
constexpr size_t DRIFT = 3 * RATE / 10;

struct Stretches {
    size_t total = 0;
    size_t clean = 0;
    double best = 0;
    size_t firstOffset = 0;  // of the first clean one
    double level = 0;        // the first clean one's sent level against the other signal's
};

Stretches findStretches(const std::vector<int16_t>& sent, const std::vector<int16_t>& other) {
    Stretches result;
    std::optional<size_t> expected;
    for (size_t at = SETTLED; at + STRETCH <= sent.size(); at += STRETCH) {
        const std::vector<int16_t> stretch(sent.begin() + at, sent.begin() + at + STRETCH);
        const size_t first = expected && *expected > DRIFT ? *expected - DRIFT : 0;
        const size_t last = expected ? *expected + DRIFT : SIZE_MAX;
        const Match match = bestMatch(stretch, other, first, last);
        ++result.total;
        result.best = std::max(result.best, match.correlation);
        if (match.correlation > CLEAN) {
            if (result.clean++ == 0) {
                result.firstOffset = match.offset;
                result.level = rms(stretch.data(), STRETCH) / rms(other.data() + match.offset, STRETCH);
            }
            expected = match.offset + STRETCH;
        } else if (expected) {
            *expected += STRETCH;
        }
    }
    return result;
}

void report(const char* what, const Stretches& s, const char* levelOf) {
    std::printf(
        "%s: %zu of %zu stretches clean (best correlation %.3f), the first at %.3f s, sent at %.3f the level "
        "of %s\n",
        what, s.clean, s.total, s.best, static_cast<double>(s.firstOffset) / RATE, s.level, levelOf);
}

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

    // The microphone: what the terminal sent is the fed signal (at an eighth
    // of its level: the terminal's transmit gain).
    const auto sent = decodeAll(framesOf(received));
    ASSERT_GE(sent.size(), SETTLED + 8 * STRETCH) << received.size() << " packets";
    const std::vector<int16_t> fedSoFar(feed.begin(), feed.begin() + 10 * RATE);
    const Stretches captured = findStretches(sent, fedSoFar);
    report("microphone", captured, "the fed signal");
    EXPECT_GT(captured.best, RECOGNISABLE);
    if (!BELOW_REAL_TIME) {
        EXPECT_GE(4 * captured.clean, captured.total);
    }

    // The speaker: what came back is played, whole and in order.
    const auto recorded = readSamples(pulse.recordingFile());
    const Stretches played = findStretches(sent, recorded);
    report("speaker", played, "the recording");
    EXPECT_GT(played.best, RECOGNISABLE);
    if (!BELOW_REAL_TIME) {
        EXPECT_GE(4 * played.clean, played.total);
    }
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
