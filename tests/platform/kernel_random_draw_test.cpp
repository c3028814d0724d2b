#include "platform/kernel_random_draw.h"

#include <gtest/gtest.h>

#include <set>

namespace vorpel {
namespace {

// The kernel's draws differ from draw to draw and from terminal to terminal.
TEST(KernelRandomDraw, DrawsDiffer) {
    KernelRandomDraw first;
    KernelRandomDraw second;
    std::set<uint32_t> seen;
    for (int i = 0; i < 8; ++i) {
        seen.insert(first.draw());
        seen.insert(second.draw());
    }
    EXPECT_EQ(seen.size(), 16u);
}

}  // namespace
}  // namespace vorpel
