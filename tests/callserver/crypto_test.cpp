// Known answers for the server's cryptography, computed independently of
// OpenSSL (Python's integers for the modular arithmetic). The credential
// proof's known answer is in registration_test.cpp.
#include "server_crypto.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace vorpel::callserver {
namespace {

template <size_t N>
std::array<uint8_t, N> fromHex(const std::string& hex) {
    std::array<uint8_t, N> out{};
    for (size_t i = 0; i < N; ++i)
        out[i] = static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    return out;
}

template <size_t N>
std::array<uint8_t, N> field(const char* text) {
    std::array<uint8_t, N> out{};
    std::memcpy(out.data(), text, std::strlen(text));
    return out;
}

DhPrivate ascending() {
    DhPrivate x{};
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<uint8_t>(i + 1);
    return x;
}

DhPrivate descending() {
    DhPrivate x{};
    for (size_t i = 0; i < x.size(); ++i) x[i] = static_cast<uint8_t>(0x20 - i);
    return x;
}

const std::string PUBLIC_ASCENDING =
    "ed37732b1788118449737271ff7a96e8baa20b8a714440305a0c4ff7a3e09e8b3b71f8ee4b8248f171d269af1f9680ef"
    "9333936c3cd6df1c29ff486b092911de3ac27d2260adf106b7b151912684f767e8c3e4d0b38fe2dc0ad478465919889e";
const std::string PUBLIC_DESCENDING =
    "ef0f7f9886fcb7c871dce84bd4cb1c3ad761ad5c8e619c69fe130e5e024d0342674f0e519a9f913c7bc5bfacbf7c55f3"
    "b96e453b3907bb7dc6e80de13e43928146f1222b11a26cc275f01391ddb537310af7fe21f9d0392da417d9b0e34cc65a";
const std::string OAKLEY_768 =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
    "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A3620FFFFFFFFFFFFFFFF";

TEST(KeyAgreement, PublicValuesAndSessionKeyMatchKnownAnswers) {
    EXPECT_EQ(dhPublicValue(ascending()), fromHex<96>(PUBLIC_ASCENDING));
    EXPECT_EQ(dhPublicValue(descending()), fromHex<96>(PUBLIC_DESCENDING));
    const auto expected = fromHex<32>("7fec8037b6f83cbf3ce006a3b7bdf492182d4e8ee8f87659665634932d906077");
    // Both sides of the exchange arrive at the same key.
    EXPECT_EQ(deriveSessionKey(ascending(), fromHex<96>(PUBLIC_DESCENDING)), expected);
    EXPECT_EQ(deriveSessionKey(descending(), fromHex<96>(PUBLIC_ASCENDING)), expected);
    // The generator is 3, and a small value keeps its leading zero bytes.
    DhPrivate one{};
    one[31] = 1;
    DhPublic three{};
    three[95] = 3;
    EXPECT_EQ(dhPublicValue(one), three);
}

TEST(KeyAgreement, RefusesDegeneratePublicValues) {
    DhPublic value{};
    EXPECT_FALSE(dhPublicValueAcceptable(value));  // 0
    value[95] = 1;
    EXPECT_FALSE(dhPublicValueAcceptable(value));  // 1
    value[95] = 2;
    EXPECT_TRUE(dhPublicValueAcceptable(value));
    auto p = fromHex<96>(OAKLEY_768);
    EXPECT_FALSE(dhPublicValueAcceptable(p));  // p
    p[95] = 0xFE;
    EXPECT_FALSE(dhPublicValueAcceptable(p));  // p - 1
    p[95] = 0xFD;
    EXPECT_TRUE(dhPublicValueAcceptable(p));  // p - 2
    EXPECT_TRUE(dhPublicValueAcceptable(fromHex<96>(PUBLIC_ASCENDING)));
}

}  // namespace
}  // namespace vorpel::callserver
