#include "media/jitter_ring.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "media/receive_queue.h"

namespace vorpel {
namespace {

// Frames whose bytes name the packet and the frame: {tag, k, 0, ...}.
std::vector<uint8_t> framesTagged(uint8_t tag, size_t count) {
    std::vector<uint8_t> bytes(count * G729_FRAME_BYTES, 0);
    for (size_t k = 0; k < count; ++k) {
        bytes[k * G729_FRAME_BYTES] = tag;
        bytes[k * G729_FRAME_BYTES + 1] = static_cast<uint8_t>(k);
    }
    return bytes;
}

// Places and stores a packet of count frames; false when it was dropped.
bool deliver(JitterRing& ring, uint32_t timestamp, uint8_t tag, size_t count = 10) {
    const auto offset = ring.place(timestamp);
    if (!offset) return false;
    ring.store(*offset, framesTagged(tag, count));
    return true;
}

// Plays count frames: the tag and index of each, or -1 for a missing frame.
std::vector<int> play(JitterRing& ring, size_t count) {
    std::vector<int> played;
    for (size_t i = 0; i < count; ++i) {
        std::array<uint8_t, G729_FRAME_BYTES> frame{};
        played.push_back(ring.takeFrame(frame) ? frame[0] * 100 + frame[1] : -1);
    }
    return played;
}

std::vector<int> expectFrames(int tag, int from, int count) {
    std::vector<int> frames;
    for (int k = from; k < from + count; ++k) frames.push_back(tag * 100 + k);
    return frames;
}
const std::vector<int> TEN_MISSING(10, -1);

// P = 20, E = 8000, lateCount 0: two misaligned resynchronisations and ten
// played frames.
void positionAt20And8000(JitterRing& ring) {
    ring.reset();
    ASSERT_EQ(ring.place(40), 0u);
    ASSERT_EQ(ring.place(7200), 0u);
    play(ring, 10);
    ASSERT_EQ(ring.position(), 20u);
    ASSERT_EQ(ring.expectedTimestamp(), 8000u);
}

TEST(JitterRing, AcceptsUpToThirtyFramesAheadAndPlaysTenFramesLater) {
    JitterRing ring;
    positionAt20And8000(ring);
    EXPECT_FALSE(deliver(ring, 8000 + 31 * 80, 9)) << "31 frames ahead is out of window";
    EXPECT_EQ(ring.lateCount(), 1u);
    EXPECT_EQ(ring.position(), 20u);
    EXPECT_EQ(ring.place(8000 + 30 * 80), 30u);
    EXPECT_EQ(ring.place(8000 + 80), 1u);
    ASSERT_TRUE(deliver(ring, 8000, 1));
    for (uint32_t s = 20; s < 30; ++s) EXPECT_TRUE(ring.slot(s).present) << s;
    // Up to ten frames behind E, a packet fills the slots still waiting to be played.
    ASSERT_TRUE(deliver(ring, 8000 - 10 * 80, 2));
    EXPECT_EQ(play(ring, 10), expectFrames(2, 0, 10));
    EXPECT_EQ(play(ring, 10), expectFrames(1, 0, 10));
    EXPECT_FALSE(ring.slot(20).present) << "a played slot is emptied";
    EXPECT_FALSE(deliver(ring, 0, 7)) << "late, and alone since packets in step: dropped";
}

TEST(JitterRing, FirstFarPacketAfterResetIsDroppedAndTheNextResynchronises) {
    JitterRing ring;
    ring.reset();
    EXPECT_FALSE(deliver(ring, 160000, 1));
    EXPECT_EQ(ring.lateCount(), 1u);
    EXPECT_EQ(ring.position(), 0u);
    EXPECT_EQ(ring.expectedTimestamp(), 0u);
    ASSERT_TRUE(deliver(ring, 160800, 2));
    EXPECT_EQ(ring.position(), 10u);
    EXPECT_EQ(ring.expectedTimestamp(), 160800u);
    EXPECT_EQ(play(ring, 10), TEN_MISSING);
    // The stream then continues in step, one packet per 100 ms.
    ASSERT_TRUE(deliver(ring, 160800 + 800, 3));
    EXPECT_EQ(ring.lateCount(), 2u) << "the dropped packet and the one that resynchronised";
    EXPECT_EQ(play(ring, 10), expectFrames(2, 0, 10));
    EXPECT_EQ(play(ring, 10), expectFrames(3, 0, 10));
}

TEST(JitterRing, LatePacketResynchronisesAndLeavesWaitingFramesInTheirOldSlots) {
    JitterRing ring;
    ring.reset();
    ASSERT_FALSE(deliver(ring, 80000, 1));  // lateCount 1
    ASSERT_TRUE(deliver(ring, 80000, 1));   // resynchronises: P 10, E 80000, slots 10-19
    ASSERT_TRUE(deliver(ring, 80800, 2));   // slots 20-29
    ASSERT_TRUE(deliver(ring, 81600, 3));   // slots 30-39
    EXPECT_EQ(play(ring, 10), TEN_MISSING);
    EXPECT_EQ(play(ring, 2), expectFrames(1, 0, 2));
    // Timestamp 79200 lies 22 frames before E (80960): late. Alone after
    // packets in step it is dropped; another late packet resynchronises.
    ASSERT_FALSE(deliver(ring, 79200, 9, 5));
    ASSERT_TRUE(deliver(ring, 79200, 4, 5));
    EXPECT_EQ(ring.position(), 10u);
    EXPECT_EQ(ring.expectedTimestamp(), 79200u);
    EXPECT_EQ(play(ring, 10), TEN_MISSING);
    // Slots 10-14 hold the new packet, 15-19 the rest of packet 1 that was
    // never played, 20-39 packets 2 and 3 as they were.
    EXPECT_EQ(play(ring, 5), expectFrames(4, 0, 5));
    EXPECT_EQ(play(ring, 5), expectFrames(1, 5, 5));
    EXPECT_EQ(play(ring, 10), expectFrames(2, 0, 10));
    EXPECT_EQ(play(ring, 10), expectFrames(3, 0, 10));
}

TEST(JitterRing, ResynchronisationEmptiesOnlyTheTenSlotsPlayedNext) {
    JitterRing ring;
    positionAt20And8000(ring);
    // Frames at slots 20-29 and far ahead at 45-49.
    ASSERT_TRUE(deliver(ring, 8000, 1));
    ASSERT_TRUE(deliver(ring, 8000 + 25 * 80, 2, 5));
    ASSERT_FALSE(deliver(ring, 0, 3, 1)) << "behind E: late, dropped the first time";
    ASSERT_TRUE(deliver(ring, 40, 4, 1)) << "late again: resynchronises into slot 10";
    for (uint32_t s = 0; s < 10; ++s) EXPECT_FALSE(ring.slot(s).present) << s;
    EXPECT_TRUE(ring.slot(10).present);
    for (uint32_t s = 20; s < 30; ++s) EXPECT_TRUE(ring.slot(s).present) << s;
    for (uint32_t s = 45; s < 50; ++s) EXPECT_TRUE(ring.slot(s).present) << s;
}

TEST(JitterRing, DuplicatePacketRewritesTheSameSlotsAndTimestampsWrapModulo2To32) {
    JitterRing ring;
    ring.reset();
    constexpr uint32_t NEAR_WRAP = 4294967256u;   // 2^32 - 40: 40 behind E = 0
    ASSERT_FALSE(deliver(ring, NEAR_WRAP, 1));    // late: dropped
    ASSERT_TRUE(deliver(ring, NEAR_WRAP, 2, 3));  // late again: resynchronises, E = 2^32 - 40
    ASSERT_TRUE(deliver(ring, NEAR_WRAP, 3, 3));  // the same timestamp again
    // Three frames on, past 2^32: timestamp 200, in step.
    ASSERT_TRUE(deliver(ring, NEAR_WRAP + 3 * 80, 4, 2));
    EXPECT_EQ(ring.lateCount(), 2u);
    EXPECT_EQ(play(ring, 10), TEN_MISSING);
    EXPECT_EQ(play(ring, 3), expectFrames(3, 0, 3));
    EXPECT_EQ(play(ring, 2), expectFrames(4, 0, 2));
    EXPECT_EQ(ring.expectedTimestamp(), 1160u);  // 2^32 - 40 + 15 x 80

    // The position runs modulo 256 slots.
    for (int i = 0; i < 30; ++i) play(ring, 10);
    EXPECT_EQ(ring.position(), (10u + 15 + 300) % 256);
}

TEST(ReceiveQueue, TakesDatagramsUpTo127BytesWhileThereIsRoom) {
    ReceiveQueue queue;
    EXPECT_FALSE(queue.push(std::vector<uint8_t>(128, 1)));
    EXPECT_FALSE(queue.push({})) << "an empty datagram carries nothing";
    for (uint8_t i = 0; i < 31; ++i) ASSERT_TRUE(queue.push(std::vector<uint8_t>(127, i))) << int{i};
    EXPECT_FALSE(queue.push(std::vector<uint8_t>{99})) << "full: the new one is dropped";
    for (uint8_t i = 0; i < 31; ++i) {
        ASSERT_EQ(queue.front().size(), 127u);
        EXPECT_EQ(queue.front()[126], i);
        queue.pop();
    }
    EXPECT_TRUE(queue.front().empty());
    for (uint8_t i = 0; i < 20; ++i) ASSERT_TRUE(queue.push(std::vector<uint8_t>{i})) << "the indices wrap";
    queue.discardAll();
    EXPECT_TRUE(queue.front().empty());
}

}  // namespace
}  // namespace vorpel
