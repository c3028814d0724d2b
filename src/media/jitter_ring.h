// The fixed-delay jitter ring: received codec frames filed by RTP timestamp.
//
// 256 slots of one 10-byte frame (as received, frame mask still applied) and
// a present flag. P is the slot where the frame with the expected timestamp E
// belongs; the frame played next is the one in slot P - 10, ten frames
// (100 ms) behind. A packet is accepted from E up to 30 frames beyond it, and
// up to 10 frames behind it, whose slots are still waiting to be played. A
// packet that falls outside that window is dropped when it is the first since
// the last reset or since a packet was filed in step, and resynchronises the
// ring when it follows another such packet: a lone late packet (delayed, or
// sent twice) costs only its own frames, a sender that has really moved is
// followed from its second packet on. A packet off the 80-unit frame grid
// ahead of E resynchronises the ring at once.
//
// Threads: only the audio thread's playout pass and the media reset touch the
// ring, both under the media lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "codec/g729a.h"

namespace vorpel {

struct JitterSlot {
    bool present = false;
    std::array<uint8_t, G729_FRAME_BYTES> frame{};
};

class JitterRing {
public:
    static constexpr size_t SLOT_COUNT = 256;
    static constexpr uint32_t PLAYOUT_DELAY_FRAMES = 10;
    static constexpr uint32_t WINDOW_FRAMES = 30;

    // Empties every slot and sets P, E, lateCount and the run of late packets to 0.
    void reset();

    // Finds where a packet whose first frame has this timestamp goes, as an
    // offset from P modulo 2^32 (below P for a packet behind E), resynchronising the ring when it must;
    // nothing when the packet is dropped as late.
    std::optional<uint32_t> place(uint32_t timestamp);
    // Files frames (a whole number of 10-byte frames) from offset on,
    // overwriting whatever was there.
    void store(uint32_t offset, std::span<const uint8_t> frames);

    // The frame due for playout: copies it into frame and returns true when it
    // is present; either way the slot is emptied and P and E move on by one
    // frame.
    bool takeFrame(std::span<uint8_t, G729_FRAME_BYTES> frame);

    uint32_t position() const { return position_; }
    uint32_t expectedTimestamp() const { return expected_; }
    uint32_t lateCount() const { return lateCount_; }
    const JitterSlot& slot(size_t index) const { return slots_[index % SLOT_COUNT]; }

private:
    void resynchronise(uint32_t timestamp);

    std::array<JitterSlot, SLOT_COUNT> slots_{};
    uint32_t position_ = 0;   // P, always below SLOT_COUNT
    uint32_t expected_ = 0;   // E
    uint32_t lateCount_ = 0;  // late or too-far-ahead packets since the last reset
    uint32_t lateRun_ = 0;    // of those, how many came since a packet was filed
};

}  // namespace vorpel
