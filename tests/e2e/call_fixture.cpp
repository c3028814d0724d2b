#include "call_fixture.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "audio_signal.h"
#include "speech_signal.h"

namespace vorpel::e2e {

std::optional<ShownLines> parseDisplay(const std::string& line) {
    if (line.rfind("display ", 0) != 0) return std::nullopt;
    ShownLines lines;
    size_t at = 0;
    for (std::string& shown : lines) {
        const size_t open = line.find('"', at);
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close == std::string::npos) return std::nullopt;
        shown = line.substr(open + 1, close - open - 1);
        shown.erase(shown.find_last_not_of(' ') + 1);
        at = close + 1;
    }
    return lines;
}

void CallFixture::SetUp() {
    ASSERT_TRUE(server_.start()) << "vorpel-callserver did not start:\n" << server_.errorText();
}

void CallFixture::TearDown() {
    if (!HasFailure()) return;
    for (size_t i = 0; i < terminals_.size(); ++i) {
        TerminalFixture& t = *terminals_[i];
        std::string seen;
        if (t.console().pid() > 0) {
            for (const auto& l : t.console().lines()) seen += l + "\n";
            seen += "stderr:\n" + t.console().errorText();
        }
        ADD_FAILURE() << "terminal " << i << " output:\n" << seen;
    }
    const std::string serverText = server_.errorText();
    // The trace can be long: its end is what tells.
    constexpr size_t TAIL = 12000;
    ADD_FAILURE() << "server stderr (end):\n"
                  << (serverText.size() > TAIL ? serverText.substr(serverText.size() - TAIL) : serverText);
}

TerminalFixture& CallFixture::addTerminal(const CallAccount& account, const std::vector<int16_t>& capture,
                                          const std::string& serverAddress) {
    terminals_.push_back(
        std::make_unique<TerminalFixture>(serverAddress.empty() ? server_.address() : serverAddress));
    TerminalFixture& t = *terminals_.back();
    if (!capture.empty()) writeSamples(t.captureFile(), capture);
    EXPECT_TRUE(t.provision({account.account, account.auth, account.password}))
        << "provisioning " << account.extension;
    return t;
}

bool CallFixture::startAndRegister(TerminalFixture& terminal, const CallAccount& account,
                                   std::chrono::milliseconds timeout) {
    terminal.start();
    return waitForDisplay(
               terminal, [&](const ShownLines& l) { return l[0] == "Extension " + account.extension; },
               timeout)
        .has_value();
}

void CallFixture::mark(TerminalFixture& terminal) { marks_[&terminal] = terminal.console().lines().size(); }

void CallFixture::markAll() {
    for (const auto& t : terminals_) mark(*t);
}

std::optional<std::string> CallFixture::waitForLine(TerminalFixture& terminal,
                                                    const std::function<bool(const std::string&)>& match,
                                                    std::chrono::milliseconds timeout) {
    const std::vector<std::string>& lines = terminal.console().lines();
    for (size_t i = marks_[&terminal]; i < lines.size(); ++i) {
        if (match(lines[i])) return lines[i];
    }
    return terminal.console().waitForLine(match, timeout);
}

std::optional<ShownLines> CallFixture::waitForDisplay(TerminalFixture& terminal,
                                                      const std::function<bool(const ShownLines&)>& match,
                                                      std::chrono::milliseconds timeout) {
    const auto line = waitForLine(
        terminal,
        [&](const std::string& text) {
            const auto lines = parseDisplay(text);
            return lines && match(*lines);
        },
        timeout);
    if (!line) return std::nullopt;
    return parseDisplay(*line);
}

bool CallFixture::waitForAudio(TerminalFixture& terminal, const std::string& mode,
                               std::chrono::milliseconds timeout) {
    const std::string wanted = "audio " + mode;
    return waitForLine(
               terminal, [&](const std::string& line) { return line == wanted; }, timeout)
        .has_value();
}

void CallFixture::dial(TerminalFixture& terminal, const std::string& digits) {
    for (char d : digits) terminal.console().writeLine(std::string("key ") + d);
}

bool CallFixture::quit(TerminalFixture& terminal) {
    terminal.console().writeLine("quit");
    return terminal.console().wait(EVENT_WAIT) == 0;
}

size_t CallFixture::playedSamples(const TerminalFixture& terminal) {
    std::error_code ignored;
    const auto bytes = std::filesystem::file_size(terminal.playbackFile(), ignored);
    return ignored ? 0 : static_cast<size_t>(bytes / 2);
}

bool CallFixture::waitForPlayback(const TerminalFixture& terminal, size_t from, size_t count,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (playedSamples(terminal) < from + count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void CallFixture::expectSpeech(const std::string& name, const std::vector<int16_t>& sent,
                               const TerminalFixture& listener, size_t voiceAt, double minimumDb) {
    constexpr size_t FRAME = 80;
    constexpr size_t PACKET = 800;        // the terminals send ten frames a packet
    constexpr size_t MIN_SEGMENTS = 200;  // 2 s of speech
    constexpr int16_t MISSING = -1;       // what a terminal plays for a frame that did not arrive
    const auto played = readSamples(listener.playbackFile());
    const auto offset = findAlignment(codecRoundTrip(sent), played);
    ASSERT_TRUE(offset) << name << ": the speech is nowhere in " << played.size() << " played samples";

    // The listener's decoder started with the first frame it played after
    // voice began (it plays missing frames as -1 while its jitter ring fills).
    // The talker's encoder started a few packets earlier (the relay drops
    // what comes before both ends have sent), where its capture had got to
    // (it runs during a melody too), after one block of silence when the
    // audio had run before. Try those start points on the first second, so
    // that the reference runs through the same coder states as the terminals.
    auto frameIs = [&](size_t at, int16_t value) {
        return std::all_of(played.begin() + static_cast<long>(at),
                           played.begin() + static_cast<long>(at + FRAME),
                           [value](int16_t s) { return s == value; });
    };
    const size_t voiceFrame = (voiceAt + FRAME - 1) / FRAME * FRAME;
    size_t firstPlayed = voiceFrame;
    while (firstPlayed + FRAME <= played.size() && !frameIs(firstPlayed, MISSING)) firstPlayed += FRAME;
    if (firstPlayed + FRAME > played.size()) {  // nothing went missing: the first sound after voice began
        firstPlayed = voiceFrame;
        while (firstPlayed + FRAME <= played.size() && frameIs(firstPlayed, 0)) firstPlayed += FRAME;
    }
    while (firstPlayed + FRAME <= played.size() && frameIs(firstPlayed, MISSING)) firstPlayed += FRAME;
    // Where the decoder started, in the signal's time (before 0: in silence).
    const long decoderStart = static_cast<long>(firstPlayed) - *offset;
    CoderStarts starts;
    double best = -100;
    for (size_t silence = 0; silence <= 2 * PACKET; silence += PACKET) {
        for (size_t after = 0; after <= 5 * PACKET; after += PACKET) {
            const long encoderStart = decoderStart + static_cast<long>(silence) - static_cast<long>(after);
            if (encoderStart < 0 || encoderStart % static_cast<long>(FRAME) != 0) continue;
            const CoderStarts trial{silence, static_cast<size_t>(encoderStart), after};
            const size_t end = static_cast<size_t>(std::max(0L, decoderStart)) + SAMPLE_RATE;
            const double db = segmentalSnr(codecRoundTrip(sent, trial, end), played, *offset, firstPlayed,
                                           firstPlayed + SAMPLE_RATE)
                                  .meanDb;
            if (db > best) {
                best = db;
                starts = trial;
            }
        }
    }
    const auto reference = codecRoundTrip(sent, starts);
    const size_t begin = std::max(firstPlayed, static_cast<size_t>(std::max(0L, *offset)));
    const SegmentalSnr snr = segmentalSnr(reference, played, *offset, begin, played.size());
    std::printf(
        "[ speech   ] %s: offset %ld; encoder: %zu samples of silence, then from %zu; decoder %zu samples "
        "later; %zu segments, segmental SNR mean %.1f dB, median %.1f dB\n",
        name.c_str(), *offset, starts.silenceFirst, starts.encoderStart, starts.decodeAfter, snr.segments,
        snr.meanDb, snr.medianDb);
    RecordProperty(name + "_segmental_snr_db", std::to_string(snr.meanDb));
    RecordProperty(name + "_segmental_snr_median_db", std::to_string(snr.medianDb));
    EXPECT_GE(snr.segments, MIN_SEGMENTS) << name << ": too little speech to compare";
    // The median: a packet late on a loaded machine plays as missing frames,
    // and the coders then run on from other states.
    EXPECT_GE(snr.medianDb, minimumDb) << name;
}

}  // namespace vorpel::e2e
