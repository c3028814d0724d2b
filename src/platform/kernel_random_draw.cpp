#include "platform/kernel_random_draw.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

namespace vorpel {

uint32_t KernelRandomDraw::draw() {
    uint32_t word = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&word);
    size_t have = 0;
    while (have < sizeof word) {
        const ssize_t got = getrandom(bytes + have, sizeof word - have, 0);
        if (got > 0) {
            have += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            break;  // no kernel source at all (pre-3.17 kernel): the whitening state still moves
        }
    }
    return word;
}

}  // namespace vorpel
