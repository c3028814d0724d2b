// Compares the encoder's intermediate values, stage by stage, with the
// reference's recorded ones, and reports the first stage that departs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "codec/encoder_parts.h"
#include "codec/g729a_state.h"
#include "vectors.h"

namespace vorpel::g729 {
namespace {

#ifndef VORPEL_G729A_TRACES_DIR
#define VORPEL_G729A_TRACES_DIR "../shared/g729a-traces"
#endif

std::string tracesFolder() {
    const char* env = std::getenv("VORPEL_G729A_TRACES");
    return env != nullptr ? std::string(env) : std::string(VORPEL_G729A_TRACES_DIR);
}

using Frame = std::map<std::string, std::vector<int>>;

// Trace lines are "FRAME NAME VALUES...".
std::vector<Frame> readTrace(const std::string& path) {
    std::vector<Frame> frames;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        size_t frame = 0;
        std::string name;
        if (!(fields >> frame >> name)) continue;
        if (frames.size() <= frame) frames.resize(frame + 1);
        std::vector<int>& values = frames[frame][name];
        int v = 0;
        while (fields >> v) values.push_back(v);
    }
    return frames;
}

template <typename T>
std::vector<int> ints(const T* v, int n) {
    return std::vector<int>(v, v + n);
}

std::string show(const std::vector<int>& v) {
    std::string s;
    for (int x : v) s += std::to_string(x) + " ";
    return s;
}

// Encodes the vector's input and compares each traced value in the order
// the encoder produces them, up to and including `lastStage`; stops at the
// first difference.
void compareWithTrace(const std::string& name, const std::string& lastStage) {
    const std::string tracePath = tracesFolder() + "/" + name + ".enc.txt";
    const std::string inPath = vorpel::testing::g729aVectorsFolder() + "/" + name + ".IN";
    const std::vector<Frame> trace = readTrace(tracePath);
    const auto bytes = vorpel::testing::readFileBytes(inPath);
    const std::vector<Word16> input =
        vorpel::testing::samplesFromBytes(bytes.value_or(std::vector<uint8_t>{}));
    if (trace.empty() || input.empty())
        GTEST_SKIP() << "reference data not found: " << tracePath << ", " << inPath;

    auto encoder = std::make_unique<G729Encoder>();
    resetEncoder(*encoder);
    for (size_t f = 0; f < trace.size() && (f + 1) * L_FRAME <= input.size(); f++) {
        EncoderTrace t{};
        Word16 params[PRM_SIZE];
        encodeParameters(*encoder, input.data() + f * L_FRAME, params, &t);

        const std::vector<std::pair<std::string, std::vector<int>>> stages = {
            {"preprocessed", ints(t.preprocessed, L_FRAME)},
            {"autocorr_h", ints(t.autocorrH, MP1)},
            {"autocorr_l", ints(t.autocorrL, MP1)},
            {"lpc_a", ints(t.lpcA, MP1)},
            {"refl", ints(t.refl, M)},
            {"lsp", ints(t.lsp, M)},
            {"lsp_index", ints(t.params, 2)},
            {"lsp_q", ints(t.lspQ, M)},
            {"aq_sub1", ints(t.aqSub[0], MP1)},
            {"aq_sub2", ints(t.aqSub[1], MP1)},
            {"pitch_open_loop", {t.pitchOpenLoop}},
            {"sub1_t0", {t.sub[0].t0}},
            {"sub1_t0_frac", {t.sub[0].t0Frac}},
            {"sub1_gain_pit_raw", {t.sub[0].gainPitRaw}},
            {"sub1_taming", {t.sub[0].taming}},
            {"sub1_fcb_index", {t.sub[0].fcbIndex}},
            {"sub1_fcb_sign", {t.sub[0].fcbSign}},
            {"sub1_gain_index", {t.sub[0].gainIndex}},
            {"sub1_gain_pit", {t.sub[0].gainPit}},
            {"sub1_gain_code", {t.sub[0].gainCode}},
            {"sub2_t0", {t.sub[1].t0}},
            {"sub2_t0_frac", {t.sub[1].t0Frac}},
            {"sub2_gain_pit_raw", {t.sub[1].gainPitRaw}},
            {"sub2_taming", {t.sub[1].taming}},
            {"sub2_fcb_index", {t.sub[1].fcbIndex}},
            {"sub2_fcb_sign", {t.sub[1].fcbSign}},
            {"sub2_gain_index", {t.sub[1].gainIndex}},
            {"sub2_gain_pit", {t.sub[1].gainPit}},
            {"sub2_gain_code", {t.sub[1].gainCode}},
            {"params", ints(t.params, PRM_SIZE)},
        };
        for (const auto& [stage, got] : stages) {
            const auto it = trace[f].find(stage);
            if (it == trace[f].end()) continue;
            if (it->second != got) {
                FAIL() << name << " frame " << f << " first differs at " << stage << "\n  expected "
                       << show(it->second) << "\n  got      " << show(got);
            }
            if (stage == lastStage) break;
        }
    }
}

// Every stage, from the pre-processing to the parameters, on the vector that
// exercises the conditional parts of the coder and on ordinary speech.
TEST(EncoderTrace, AlgthmMatchesReferenceStageByStage) { compareWithTrace("ALGTHM", "params"); }
TEST(EncoderTrace, SpeechMatchesReferenceStageByStage) { compareWithTrace("SPEECH", "params"); }

}  // namespace
}  // namespace vorpel::g729
