// The server refuses public values that fix the shared secret. Its key
// agreement itself is proven in call_server_test.cpp, where the terminal's
// own (known-answer tested) key agreement must reach the same key.
#include "server_crypto.h"

#include <gtest/gtest.h>

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

const std::string OAKLEY_768 =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A08798E3404DD"
    "EF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A3620FFFFFFFFFFFFFFFF";

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
}

}  // namespace
}  // namespace vorpel::callserver
