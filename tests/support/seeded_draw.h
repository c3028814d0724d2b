// A deterministic platform draw for the tests: different sequences per seed.
#pragma once

#include <cstdint>
#include <random>

#include "security/random_generator.h"

namespace vorpel::testing {

class SeededDraw final : public PlatformDraw {
public:
    explicit SeededDraw(uint32_t seed) : rng_(seed) {}
    uint32_t draw() override { return static_cast<uint32_t>(rng_()); }

private:
    std::mt19937 rng_;
};

}  // namespace vorpel::testing
