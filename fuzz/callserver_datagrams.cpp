// The call server's signalling and relay sockets. Two terminals are registered
// (short requests) and connected before the input plays. Each record is one
// datagram: tag bits 0-1 pick its source (either terminal, a stranger, or the
// first terminal's address from another port), bit 2 sends it to the source's
// relay port instead of the signalling port, bit 3 puts the source's link
// header (0xFF and its terminal id) in front, bits 4-7 let that many 100-ms
// ticks pass first. Checked: the server sends only to addresses that sent to
// it, its counters never count more voice than arrived, and nothing crashes.
#include <array>
#include <string>
#include <vector>

#include "call_server.h"
#include "fuzz_support.h"
#include "registration_frame.h"

namespace vorpel::fuzz {
namespace {

using callserver::Endpoint;

constexpr uint32_t LOOPBACK = 0x7F000001;
constexpr std::array<Endpoint, 4> SOURCES = {
    {{LOOPBACK, 5001}, {LOOPBACK, 5002}, {0x0A000009, 7000}, {LOOPBACK, 5003}}};

class CheckingPorts final : public callserver::CallServerPorts {
public:
    std::array<bool, SOURCES.size()> heardFrom{};
    std::array<uint16_t, 2> terminalIds{};
    void send(size_t, const Endpoint& to, std::span<const uint8_t> bytes) override {
        bool known = false;
        for (size_t i = 0; i < SOURCES.size(); ++i) {
            known |= heardFrom[i] && SOURCES[i] == to;
            if (i < 2 && SOURCES[i] == to && bytes.size() >= 3 && bytes[0] == callserver::FRAME_REGISTRATION)
                terminalIds[i] = static_cast<uint16_t>(bytes[1] | bytes[2] << 8);
        }
        FUZZ_CHECK(known);
    }
    std::time_t wallClock() override { return 1'700'000'000; }
    void trace(std::string_view) override {}
};

callserver::AccountTable accounts() {
    std::string error;
    return *callserver::AccountTable::parse(
        "201 alice alice-auth secret-pass-12\n202 bob bob-auth bobs-password\n", error);
}

std::vector<uint8_t> registrationRequest(const callserver::Account& account) {
    std::vector<uint8_t> frame = {0x00, 0x10, 0x01};
    frame.insert(frame.end(), account.accountId.begin(), account.accountId.end());
    frame.insert(frame.end(), {0x00, 0x01, 0x00});
    const auto proof = callserver::credentialProof(account.accountId, 1, account.authId, account.password);
    frame.insert(frame.end(), proof.begin(), proof.end());
    frame.insert(frame.end(), {127, 0, 0, 1});
    return frame;
}

}  // namespace
}  // namespace vorpel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorpel;
    using namespace vorpel::fuzz;
    static const callserver::AccountTable table = accounts();
    CheckingPorts ports;
    callserver::CallServer server(table, {}, ports);
    int64_t now = 1'000'000;
    for (size_t t = 0; t < 2; ++t) {
        ports.heardFrom[t] = true;
        server.handleSignalling(registrationRequest(table.at(t)), SOURCES[t], now);
        const uint16_t id = ports.terminalIds[t];
        server.handleSignalling(std::vector<uint8_t>{0xFF, uint8_t(id), uint8_t(id >> 8), 0x01}, SOURCES[t],
                                now);
    }
    uint64_t voiceIn = 0;
    std::array<uint8_t, 3 + 255> datagram{};
    Records records(data, size);
    for (Records::Record r; records.next(r);) {
        for (int ticks = r.tag >> 4; ticks > 0; --ticks) server.tick(now += 100);
        const size_t source = r.tag & 3;
        ports.heardFrom[source] = true;
        size_t length = 0;
        if (r.tag & 8) {
            const uint16_t id = ports.terminalIds[source % 2];
            datagram[length++] = 0xFF;
            datagram[length++] = uint8_t(id);
            datagram[length++] = uint8_t(id >> 8);
        }
        std::copy(r.bytes.begin(), r.bytes.end(), datagram.begin() + static_cast<ptrdiff_t>(length));
        const std::span<const uint8_t> bytes(datagram.data(), length + r.bytes.size());
        if (r.tag & 4) {
            ++voiceIn;
            server.handleVoice(source % 2, bytes, SOURCES[source], now);
        } else {
            server.handleSignalling(bytes, SOURCES[source], now);
        }
        const callserver::CallServerCounters& c = server.counters();
        FUZZ_CHECK(c.voiceRelayed + c.voiceDropped + c.voiceForeign <= voiceIn);
    }
    return 0;
}
