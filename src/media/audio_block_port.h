// What the audio driver hands captured blocks to and fetches playback blocks
// from: the media path (MediaPath), or a recording fake in the driver's tests.
//
// Threads: both calls come from the audio thread's pass, with the media lock
// held by the driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

class AudioBlockPort {
public:
    virtual ~AudioBlockPort() = default;
    // One captured block of 80 x frameCount samples (frameCount 10 or 20),
    // which the call may change in place.
    virtual void transmitBlock(std::span<int16_t> samples, size_t frameCount) = 0;
    // Fills out with 80 x frameCount samples (frameCount 10).
    virtual void playoutBlock(std::span<int16_t> out, size_t frameCount) = 0;
};

}  // namespace vorpel
