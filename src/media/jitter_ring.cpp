#include "media/jitter_ring.h"

#include <algorithm>

#include "media/rtp_voice_packet.h"

namespace vorpel {
namespace {
constexpr uint32_t slotIndex(uint32_t index) { return index % JitterRing::SLOT_COUNT; }
}  // namespace

void JitterRing::reset() {
    slots_.fill(JitterSlot{});
    position_ = 0;
    expected_ = 0;
    lateCount_ = 0;
    lateRun_ = 0;
}

std::optional<uint32_t> JitterRing::place(uint32_t timestamp) {
    // The distance is taken modulo 2^32 and read as signed, so a stream runs
    // across the wrap of its timestamps without a break, and a packet whose
    // timestamp lies before E is behind, whatever its place on the frame grid.
    const auto distance = static_cast<int32_t>(timestamp - expected_);
    const auto step = static_cast<int32_t>(FRAME_TIMESTAMP_STEP);
    const bool onGrid = distance % step == 0;
    // Up to the playout delay behind E, the packet's slots are still waiting
    // to be played: its frames are in time, and the offset wraps below P.
    if (onGrid && distance >= -static_cast<int32_t>(PLAYOUT_DELAY_FRAMES) * step &&
        distance <= static_cast<int32_t>(WINDOW_FRAMES) * step) {
        lateRun_ = 0;
        return static_cast<uint32_t>(distance / step);
    }
    if (distance < 0 || onGrid) {
        // Late, or too far ahead: dropped when it comes alone, a
        // resynchronisation when it follows another.
        ++lateCount_;
        if (++lateRun_ <= 1) return std::nullopt;
    }
    // Off the grid ahead of E: the sender has jumped.
    resynchronise(timestamp);
    return 0;
}

// The packet's first frame becomes the expected one; the ten slots played
// next are emptied so that the 100-ms delay is heard as near-silence. Frames
// filed elsewhere before stay until they are played or overwritten.
void JitterRing::resynchronise(uint32_t timestamp) {
    position_ = PLAYOUT_DELAY_FRAMES;
    expected_ = timestamp;
    lateRun_ = 0;
    for (uint32_t i = 0; i < PLAYOUT_DELAY_FRAMES; ++i) slots_[i].present = false;
}

void JitterRing::store(uint32_t offset, std::span<const uint8_t> frames) {
    const size_t count = frames.size() / G729_FRAME_BYTES;
    for (size_t k = 0; k < count; ++k) {
        JitterSlot& slot = slots_[slotIndex(position_ + offset + static_cast<uint32_t>(k))];
        const auto bytes = frames.subspan(k * G729_FRAME_BYTES, G729_FRAME_BYTES);
        std::copy(bytes.begin(), bytes.end(), slot.frame.begin());
        slot.present = true;
    }
}

bool JitterRing::takeFrame(std::span<uint8_t, G729_FRAME_BYTES> frame) {
    JitterSlot& slot = slots_[slotIndex(position_ + SLOT_COUNT - PLAYOUT_DELAY_FRAMES)];
    const bool present = slot.present;
    if (present) std::copy(slot.frame.begin(), slot.frame.end(), frame.begin());
    slot.present = false;
    expected_ += FRAME_TIMESTAMP_STEP;
    position_ = slotIndex(position_ + 1);
    return present;
}

}  // namespace vorpel
