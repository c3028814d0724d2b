// Datagrams of every length from 0 to 300 bytes, random and shaped like the
// real ones, in every state that receives them. Nothing may be read past the
// end of a datagram (the sanitizer build checks that), and the engine's
// records must stay within their ranges.
#include <gtest/gtest.h>

#include <random>

#include "engine_fakes.h"

namespace vorpel::testing {
namespace {

constexpr size_t MAX_LENGTH = 300;

class MalformedDatagrams : public ::testing::TestWithParam<RegState>, public EngineHarness {
protected:
    void SetUp() override {
        switch (GetParam()) {
        case RegState::Registering:
            start();
            tick();
            break;
        case RegState::Synchronizing:
            start();
            tick();
            deliver(registrationReply(TERMINAL_ID));
            break;
        default:
            connect();
            break;
        }
        ASSERT_EQ(state().regState, GetParam());
    }

    void checkInvariants() {
        const LinkState& l = link();
        ASSERT_LT(l.ackedSeq, 8);
        ASSERT_LT(l.recvSeq, 8);
        ASSERT_LT(l.sendSeq, 8);
        ASSERT_LT(l.reportedSeq, 8);
        ASSERT_LE(l.ackHoldoff, 3);
        for (const SendSlot& slot : l.slots) ASSERT_LE(slot.count, SEND_SLOT_BODY);
        ASSERT_GE(l.slots[l.sendSeq].count, 2u);
        ASSERT_NE(audio().audioModeBits(), 1);
        for (uint8_t s : state().indicators) ASSERT_LE(s, 3);
        ASSERT_LE(static_cast<uint32_t>(state().regState), static_cast<uint32_t>(RegState::Connected));
        for (const Bytes& frame : ports.frames) ASSERT_LE(frame.size(), wire::REGISTRATION_REQUEST_FULL);
        ports.frames.clear();
    }

    // Feeds the datagram and a tick, so that queued replies also leave.
    void feed(const Bytes& datagram) {
        deliver(datagram);
        tick();
        checkInvariants();
    }

    std::mt19937 random_{20261206};
    uint8_t randomByte() { return static_cast<uint8_t>(random_() & 0xFF); }
};

TEST_P(MalformedDatagrams, RandomBytesOfEveryLength) {
    for (int round = 0; round < 4; ++round) {
        for (size_t length = 0; length <= MAX_LENGTH; ++length) {
            Bytes datagram(length);
            for (uint8_t& b : datagram) b = randomByte();
            // Steer most datagrams to one of the kinds the engine reads.
            static constexpr uint8_t KINDS[] = {0x00, 0x80, 0xFF, 0xFF, 0xFF};
            if (length > 0 && round > 0) datagram[0] = KINDS[random_() % 5];
            feed(datagram);
        }
    }
}

TEST_P(MalformedDatagrams, DataFramesWithLyingElementLengths) {
    static constexpr uint8_t CODES[] = {0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70,
                                        0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0, 0xF0};
    for (int round = 0; round < 6; ++round) {
        for (size_t length = 0; length <= MAX_LENGTH; ++length) {
            Bytes datagram{0xFF, 0x10, static_cast<uint8_t>(link().recvSeq | (randomByte() & 0x70))};
            while (datagram.size() < length) {
                // An element whose length byte is near the truth, or anything at all.
                const uint8_t code = CODES[random_() % 16];
                const size_t room = length - datagram.size();
                const uint8_t n =
                    (random_() % 2) ? static_cast<uint8_t>(room - 1 + (random_() % 3)) : randomByte();
                datagram.push_back(code);
                if (datagram.size() < length) datagram.push_back(n);
                const size_t body = std::min<size_t>(n > 0 ? n - 1 : 0, length - datagram.size());
                for (size_t i = 0; i < body; ++i) datagram.push_back(randomByte());
            }
            datagram.resize(length);
            feed(datagram);
        }
    }
}

std::string stateName(const ::testing::TestParamInfo<RegState>& info) {
    return info.param == RegState::Registering     ? "Registering"
           : info.param == RegState::Synchronizing ? "Synchronizing"
                                                   : "Connected";
}

INSTANTIATE_TEST_SUITE_P(InEveryReceivingState, MalformedDatagrams,
                         ::testing::Values(RegState::Registering, RegState::Synchronizing,
                                           RegState::Connected),
                         stateName);

}  // namespace
}  // namespace vorpel::testing
