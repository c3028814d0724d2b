// Signalling datagrams from the server in each registration state. The first
// byte picks the state reached before the input plays (settings invalid,
// registering, synchronising, connected); every record is one datagram, a
// record whose tag is odd is preceded by a tick. Checked: the link numbers
// stay modulo 8 and the send slots within their 16 bytes, every display line
// is 25 characters of the 8-line display, encryption is keyed only in force,
// and after the first input nothing is allocated.
#include <algorithm>
#include <string_view>

#include "fuzz_support.h"
#include "key_agreement_fake.h"
#include "signalling/engine.h"

namespace vorpel::fuzz {
namespace {

class QuietPorts final : public EnginePorts {
public:
    size_t sendSignalling(std::span<const uint8_t> frame) override {
        FUZZ_CHECK(frame.size() <= wire::REGISTRATION_REQUEST_FULL);
        return frame.size();
    }
    void resetMedia(uint32_t) override {}
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override {}
    void openVoiceChannel(uint16_t, uint32_t) override {}
    void closeVoiceSocket() override {}
    void keyTrafficCiphers(const KeyMaterial& keys) override { FUZZ_CHECK(trafficEncryptionInForce(keys)); }
    void raisePhoneWindow() override {}
    bool serverAddressKnown() const override { return true; }
};

void put(ConfigSnapshot& config, size_t offset, std::string_view text) {
    std::copy(text.begin(), text.end(), config.bytes.begin() + static_cast<ptrdiff_t>(offset));
}

void bringTo(SignallingEngine& engine, uint8_t target) {
    engine.initEngine();
    if (target % 4 != 0) {
        ConfigSnapshot& config = engine.state().config;
        const uint8_t address[4] = {10, 0, 0, 1};
        std::copy(std::begin(address), std::end(address),
                  config.bytes.begin() + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        put(config, CFG_SERVER_ADDRESS_OFFSET, "10.0.0.1");
        put(config, CFG_ACCOUNT_ID_OFFSET, "4711");
        put(config, CFG_PASSWORD_OFFSET, "secret-secret");
    }
    engine.engineTick();
    if (target % 4 < 2) return;
    engine.startRegistration();
    std::array<uint8_t, wire::REPLY_PUBLIC_VALUE_OFFSET + PUBLIC_VALUE_SIZE> reply{};
    reply[1] = 0x34;
    reply[2] = 0x12;
    std::fill(reply.begin() + wire::REPLY_PUBLIC_VALUE_OFFSET, reply.end(), uint8_t{0x42});
    engine.handleDatagram(reply);
    if (target % 4 == 3) engine.handleDatagram(std::array<uint8_t, 2>{0xFF, 0x02});
}

void checkInvariants(const SignallingEngine& engine) {
    const TerminalState& state = engine.state();
    const LinkState& link = state.link;
    FUZZ_CHECK(state.regState <= RegState::Connected);
    FUZZ_CHECK(link.ackedSeq < 8 && link.recvSeq < 8 && link.sendSeq < 8 && link.reportedSeq < 8);
    for (const SendSlot& slot : link.slots) FUZZ_CHECK(slot.count >= 2 && slot.count <= SEND_SLOT_BODY);
    for (unsigned line = 0; line < DISPLAY_LINES; ++line) {
        const auto text = engine.lineText(line);
        FUZZ_CHECK(text.data() >= state.display.data() &&
                   text.data() + text.size() <= state.display.data() + state.display.size());
    }
    FUZZ_CHECK(engine.audio().audioModeBits() != 1);
    FUZZ_CHECK(engine.audio().trafficEncryptionInForce() == trafficEncryptionInForce(state.keys));
}

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    static fuzz::QuietPorts ports;
    static test::FakeKeyAgreement keyAgreement;
    static SignallingEngine engine(ports, keyAgreement);
    if (size == 0) return 0;
    fuzz::bringTo(engine, data[0]);
    fuzz::NoAllocation quiet;
    fuzz::Records records(data + 1, size - 1);
    for (fuzz::Records::Record r; records.next(r);) {
        if (r.tag & 1) engine.engineTick();
        engine.handleDatagram(r.bytes);
        fuzz::checkInvariants(engine);
    }
    return 0;
}
