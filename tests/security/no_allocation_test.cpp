// The security path allocates nothing: a whole registration (pool refill,
// requests, reply with derivation) and a voice packet each way, counted by
// the test support's replacement of the global operator new.
#include <gtest/gtest.h>

#include "allocation_counter.h"
#include "security/key_agreement.h"
#include "security/traffic_cipher.h"

namespace vorpel {
namespace {

class CountingDraw final : public PlatformDraw {
public:
    uint32_t draw() override { return next_ += 0x9E3779B9u; }

private:
    uint32_t next_ = 0;
};

TEST(SecurityPath, RegistrationAndVoicePacketsAllocateNothing) {
    CountingDraw draw;
    KeyAgreement keyAgreement(draw);
    KeyMaterial keys;
    ConfigSnapshot config;
    config.bytes[CFG_ACCOUNT_ID_OFFSET] = 'A';
    uint16_t counter = 0;
    std::array<uint8_t, REGISTRATION_REQUEST_FULL> frame{};
    std::array<uint8_t, 113> reply{};
    reply[17] = 0x12;
    reply[112] = 0x34;
    TrafficCiphers ciphers;
    std::array<uint8_t, 12 + 112> packet{};
    packet[0] = 0x80;

    const size_t before = test::allocationCount();
    keyAgreement.resetKeyAgreement();
    const size_t first = keyAgreement.buildRegistrationRequest(keys, config, counter, frame);
    keyAgreement.buildRegistrationRequest(keys, config, counter, frame);
    keyAgreement.processRegistrationReply(keys, reply);
    ciphers.keyTrafficCiphers(keys);
    const size_t sent = encryptVoicePayload(ciphers, packet, 12, 100);
    const bool received = decryptVoicePayload(ciphers, packet, 12);
    EXPECT_EQ(test::allocationCount() - before, 0u);
    // The work above did happen.
    EXPECT_EQ(first, REGISTRATION_REQUEST_FULL);
    EXPECT_EQ(keys.sessionKeyReady.load(), 1);
    EXPECT_EQ(sent, packet.size());
    EXPECT_TRUE(received);
    EXPECT_EQ(packet.back(), 12);  // the padding count, decrypted again
}

}  // namespace
}  // namespace vorpel
