// The Diffie-Hellman group of the key agreement: the 768-bit prime of the
// First Oakley Default Group (RFC 2409 section 6.1), kept as its decimal text
// and parsed at every engine initialisation, with the generator 3 (not the 2
// that RFC 2409 gives; the call server uses 3).
#pragma once

#include <cstdint>
#include <string_view>

namespace vorpel {

inline constexpr std::string_view OAKLEY_GROUP1_PRIME_DECIMAL =
    "155251809230070893513091813125848175563133404943451431320235119490296623994910210725866945387659164244"
    "291000768028886422915080371891804634263272761303128298374438082089019628850917069131659317536746955176"
    "3119843371637221007210577919";
inline constexpr uint32_t KEY_AGREEMENT_GENERATOR = 3;

}  // namespace vorpel
