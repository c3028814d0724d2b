// The registration reply, with the terminal's own key agreement: the input is
// the reply after its kind byte, delivered while registering. Checked: a
// session key exists exactly when the reply holds a whole server value from 2
// to p-2, encryption is published as the key material says, and nothing is
// allocated after the first input.
#include <algorithm>
#include <string_view>
#include <utility>

#include "fuzz_support.h"
#include "security/key_agreement.h"
#include "security/oakley_group.h"
#include "signalling/engine.h"

namespace vorpel::fuzz {
namespace {

class QuietPorts final : public EnginePorts {
public:
    size_t sendSignalling(std::span<const uint8_t> frame) override { return frame.size(); }
    void resetMedia(uint32_t) override {}
    void startMelody(uint8_t, std::span<const uint8_t, MELODY_NOTE_COUNT>) override {}
    void openVoiceChannel(uint16_t, uint32_t) override {}
    void closeVoiceSocket() override {}
    void keyTrafficCiphers(const KeyMaterial&) override {}
    void raisePhoneWindow() override {}
    bool serverAddressKnown() const override { return true; }
};

class CountingDraw final : public PlatformDraw {
public:
    uint32_t draw() override { return state_ = state_ * 1664525u + 1013904223u; }

private:
    uint32_t state_ = 1;
};

struct Terminal {
    QuietPorts ports;
    CountingDraw draw;
    KeyAgreement keyAgreement{draw};
    SignallingEngine engine{ports, keyAgreement};
    BigNum prime;
    Terminal() { parseDecimal(OAKLEY_GROUP1_PRIME_DECIMAL, prime); }

    void startRegistering() {
        engine.initEngine();
        ConfigSnapshot& config = engine.state().config;
        const uint8_t address[4] = {10, 0, 0, 1};
        std::copy(std::begin(address), std::end(address),
                  config.bytes.begin() + CFG_NUMERIC_SERVER_ADDRESS_OFFSET);
        for (const auto& [offset, text] :
             {std::pair<size_t, std::string_view>{CFG_SERVER_ADDRESS_OFFSET, "10.0.0.1"},
              {CFG_ACCOUNT_ID_OFFSET, "4711"},
              {CFG_PASSWORD_OFFSET, "secret-secret"}})
            std::copy(text.begin(), text.end(), config.bytes.begin() + static_cast<ptrdiff_t>(offset));
        engine.engineTick();
        engine.startRegistration();
        FUZZ_CHECK(engine.state().regState == RegState::Registering);
        FUZZ_CHECK(engine.state().keys.keyPairHeld == 1);
    }
    bool keyExpected(std::span<const uint8_t> reply) const {
        if (reply.size() < wire::REPLY_PUBLIC_VALUE_OFFSET + PUBLIC_VALUE_SIZE) return false;
        const BigNum y = importBytes(reply.subspan(wire::REPLY_PUBLIC_VALUE_OFFSET, PUBLIC_VALUE_SIZE));
        BigNum highest = prime;
        highest.limbs[0] -= 2;
        return y.bitLength() > 1 && greaterOrEqual(highest, y);
    }
};

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    static fuzz::Terminal terminal;
    static std::array<uint8_t, 256> reply;
    const size_t length = 1 + std::min(size, reply.size() - 1);
    reply[0] = wire::KIND_REGISTRATION;
    std::copy_n(data, length - 1, reply.begin() + 1);
    const std::span<const uint8_t> datagram(reply.data(), length);

    terminal.startRegistering();
    {
        fuzz::NoAllocation quiet;
        terminal.engine.handleDatagram(datagram);
    }
    const TerminalState& state = terminal.engine.state();
    FUZZ_CHECK(state.keys.sessionKeyReady == (terminal.keyExpected(datagram) ? 1 : 0));
    FUZZ_CHECK(terminal.engine.audio().trafficEncryptionInForce() == trafficEncryptionInForce(state.keys));
    return 0;
}
