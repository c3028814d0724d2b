// The server's side of the sequenced link with one terminal.
//
// Data frames are numbered modulo 8 in each direction. A server data frame is
//
//   0xFF, 0x10, sequence byte, elements...          (at most 256 bytes)
//
// where the sequence byte holds the frame's own number in bits 0-2 and the
// number of the next frame expected from the terminal in bits 4-6 (the
// piggybacked acknowledgement). An ack frame, 0xFF 0x03 ack byte, carries the
// same acknowledgement alone (bits 4-6) and the server's oldest unacknowledged
// number (bits 0-2).
//
// At most seven frames are outstanding. Elements queued beyond that wait in a
// fixed pending buffer. Unacknowledged frames are sent again, go-back-N from
// the oldest, when a retransmission timer runs out or when the terminal's ack
// frame names a frame that was sent a while ago. Frames sent again carry the
// acknowledgement of the moment. The terminal's data frames are taken only in
// sequence; a repeat or a gap is answered at once with an ack frame, and
// further out-of-sequence frames are ignored for a short hold-off while the
// terminal sends again.
//
// Nothing here allocates: the window and the pending buffer are fixed arrays.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel::callserver {

class FrameSink {
public:
    virtual void sendFrame(std::span<const uint8_t> frame) = 0;

protected:
    ~FrameSink() = default;
};

class ServerLink {
public:
    static constexpr size_t MAX_FRAME = 256;
    static constexpr size_t FRAME_HEADER = 3;
    static constexpr size_t MAX_ELEMENT_BYTES = MAX_FRAME - FRAME_HEADER;
    static constexpr uint8_t WINDOW = 7;
    static constexpr size_t PENDING_CAPACITY = 2048;
    static constexpr int64_t RETRANSMIT_MS = 1500;
    static constexpr int64_t RESEND_GUARD_MS = 50;
    static constexpr int64_t GAP_HOLDOFF_MS = 300;
    static constexpr unsigned MAX_RETRANSMISSIONS = 6;
    static constexpr int64_t IDLE_PROBE_MS = 2000;

    static constexpr uint8_t TYPE_CONNECT_CONFIRM = 0x02;
    static constexpr uint8_t TYPE_ACK = 0x03;
    static constexpr uint8_t TYPE_DATA = 0x10;

    enum class Receive { InSequence, AckedOutOfSequence, Ignored };

    // Forgets everything: numbering restarts at 0 in both directions.
    void reset();
    // The connect request was confirmed: the terminal's first data frame is
    // due, and the idle probe (see tick) fetches it should it be lost.
    void confirmed(int64_t now) {
        probing_ = true;
        lastSentAt_ = now;
    }

    // Queues one server element (code, length n, n - 1 bytes); false when it
    // is malformed or the pending buffer has no room for it.
    bool queue(std::span<const uint8_t> element);

    // A terminal data frame with this sequence byte. InSequence: the caller
    // interprets its elements and then calls flush.
    Receive onDataFrame(uint8_t sequenceByte, int64_t now, FrameSink& sink);
    // A terminal ack frame with this acknowledgement byte.
    void onAckFrame(uint8_t ackByte, int64_t now, FrameSink& sink);
    // Sends what the window allows of the pending elements, or an ack frame
    // when a received frame is still unacknowledged and no data frame went out.
    void flush(int64_t now, FrameSink& sink);
    // Runs the retransmission timer; false once the terminal has failed to
    // acknowledge MAX_RETRANSMISSIONS rounds in a row. On a confirmed link,
    // sends an ack frame after IDLE_PROBE_MS without sending
    // anything: the terminal sends frames again only when an ack frame asks,
    // so this fetches a last frame of its that was lost (which no later frame
    // would reveal) or a repair whose request was lost.
    bool tick(int64_t now, FrameSink& sink);

    uint8_t sendSeq() const { return sendSeq_; }
    uint8_t ackedSeq() const { return ackedSeq_; }
    uint8_t recvSeq() const { return recvSeq_; }
    uint8_t outstanding() const { return static_cast<uint8_t>((sendSeq_ - ackedSeq_) & 7); }
    size_t pendingBytes() const { return pendingLength_; }

private:
    struct SentFrame {
        std::array<uint8_t, MAX_FRAME> bytes{};
        uint16_t length = 0;
        int64_t sentAt = 0;
    };

    bool acceptAck(uint8_t number, int64_t now);
    void sendSlot(uint8_t index, int64_t now, FrameSink& sink);
    void sendAck(int64_t now, FrameSink& sink);
    void resendOutstanding(int64_t now, FrameSink& sink);
    size_t takeElements(std::span<uint8_t> out);

    std::array<SentFrame, 8> frames_{};
    std::array<uint8_t, PENDING_CAPACITY> pending_{};
    size_t pendingLength_ = 0;
    uint8_t sendSeq_ = 0;
    uint8_t ackedSeq_ = 0;
    uint8_t recvSeq_ = 0;
    bool ackOwed_ = false;
    int64_t retransmitAt_ = 0;
    unsigned retransmissions_ = 0;
    int64_t holdoffUntil_ = 0;
    bool probing_ = false;  // confirmed, or a terminal data frame was taken
    int64_t lastSentAt_ = 0;
};

}  // namespace vorpel::callserver
