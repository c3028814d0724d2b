// The terminal's platform draw: 32 bits at a time from the kernel's random
// source (getrandom(2)), whitened by the key agreement's RandomGenerator.
#pragma once

#include <cstdint>

#include "security/random_generator.h"

namespace vorpel {

class KernelRandomDraw final : public PlatformDraw {
public:
    uint32_t draw() override;
};

}  // namespace vorpel
