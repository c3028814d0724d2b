#include "trace/frame_trace.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorpel {
namespace {

struct Case {
    std::vector<uint8_t> frame;
    bool fromTerminal;
    const char* text;
};

// A registration request of 41 or 137 bytes for account "4711", counter 3,
// with a proof and a public value that must not show.
std::vector<uint8_t> request(size_t size) {
    std::vector<uint8_t> frame(size, 0xA5);
    frame[0] = 0x00, frame[1] = 0x10, frame[2] = 0x01;
    std::fill(frame.begin() + 3, frame.begin() + 27, 0);
    frame[3] = '4', frame[4] = '7', frame[5] = '1', frame[6] = '1';
    frame[27] = 3, frame[28] = 0;
    return frame;
}

TEST(FrameTraceTest, DescribesEachFrameShapeWithoutSecrets) {
    std::vector<uint8_t> reply(113, 0x5A);
    reply[0] = 0x00, reply[1] = 0x34, reply[2] = 0x12;
    const Case cases[] = {
        {request(137), true,
         "registration request account '4711' counter 3 with public value of 96 bytes (137 bytes)"},
        {request(41), true, "registration request account '4711' counter 3 without public value (41 bytes)"},
        {{0x00, 0x10, 0x01}, true, "malformed registration request (3 bytes)"},
        {reply, false, "registration reply id 0x1234 with public value of 96 bytes (113 bytes)"},
        {{0x80, 'N', 'o', 0, 'x'}, false, "refusal 'No'"},
        {{0xFF, 0x34, 0x12, 0x01}, true, "connect request id 0x1234"},
        {{0xFF, 0x34, 0x12, 0x10, 0x21, 0x60, 0x03, 0xFB, 0xBF, 0x30, 0x03, 0x00},
         true,
         "data id 0x1234 seq 1 ack 2: key '5', call state, audio mode 3"},
        {{0xFF, 0x34, 0x12, 0x10, 0x00, 0x77}, true, "data id 0x1234 seq 0 ack 0: malformed element 0x77"},
        {{0xFF, 0x34, 0x12, 0x10, 0x21, 0x10, 0x03, 0x02, 0x01},
         true,
         "data id 0x1234 seq 1 ack 2: sync reply 258"},
        {{0xFF, 0x34, 0x12, 0x03, 0x52}, true, "ack id 0x1234 expects 5"},
        {{0xFF, 0x03, 0x52}, false, "ack expects 5 oldest 2"},
        {{0xFF, 0x10, 0x10, 0x20, 0x03, 0xAB, 0xCD, 0x90, 0x02, 0x01},
         false,
         "data seq 0 ack 1: echo 0xABCD, audio control 1"},
        {{}, false, "empty datagram"},
    };
    for (const Case& c : cases) EXPECT_EQ(describeSignalling(c.frame, c.fromTerminal), c.text);
}

}  // namespace
}  // namespace vorpel
