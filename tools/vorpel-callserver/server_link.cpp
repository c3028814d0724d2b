#include "server_link.h"

#include <cstring>

#include "registration_frame.h"

namespace vorpel::callserver {

void ServerLink::reset() { *this = ServerLink{}; }

bool ServerLink::queue(std::span<const uint8_t> element) {
    if (element.size() < 2 || element.size() != static_cast<size_t>(element[1]) + 1 ||
        element.size() > MAX_ELEMENT_BYTES || PENDING_CAPACITY - pendingLength_ < element.size()) {
        return false;
    }
    std::memcpy(pending_.data() + pendingLength_, element.data(), element.size());
    pendingLength_ += element.size();
    return true;
}

// The window runs from ackedSeq up to sendSeq, both included, modulo 8.
bool ServerLink::acceptAck(uint8_t number, int64_t now) {
    const uint8_t offset = static_cast<uint8_t>((number - ackedSeq_) & 7);
    if (offset > outstanding()) return false;
    if (offset > 0) {
        ackedSeq_ = number;
        retransmissions_ = 0;
        retransmitAt_ = now + RETRANSMIT_MS;
    }
    return true;
}

ServerLink::Receive ServerLink::onDataFrame(uint8_t sequenceByte, int64_t now, FrameSink& sink) {
    if ((sequenceByte & 7) == recvSeq_) {
        holdoffUntil_ = 0;
        probing_ = true;
        recvSeq_ = static_cast<uint8_t>((recvSeq_ + 1) & 7);
        ackOwed_ = true;
        acceptAck(static_cast<uint8_t>((sequenceByte >> 4) & 7), now);
        return Receive::InSequence;
    }
    // A repeat or a gap: its acknowledgement may be stale, so only the
    // terminal's in-sequence frames and ack frames move the window.
    if (now < holdoffUntil_) return Receive::Ignored;
    sendAck(now, sink);
    holdoffUntil_ = now + GAP_HOLDOFF_MS;
    return Receive::AckedOutOfSequence;
}

void ServerLink::onAckFrame(uint8_t ackByte, int64_t now, FrameSink& sink) {
    if (!acceptAck(static_cast<uint8_t>((ackByte >> 4) & 7), now)) return;
    // The terminal names the first frame it is missing. One sent only a
    // moment ago may still be on its way; the timer covers that case.
    if (outstanding() > 0 && now - frames_[ackedSeq_].sentAt >= RESEND_GUARD_MS) resendOutstanding(now, sink);
    flush(now, sink);
}

void ServerLink::flush(int64_t now, FrameSink& sink) {
    while (pendingLength_ > 0 && outstanding() < WINDOW) {
        SentFrame& frame = frames_[sendSeq_];
        frame.bytes[0] = FRAME_LINK;
        frame.bytes[1] = TYPE_DATA;
        const size_t taken = takeElements(std::span(frame.bytes).subspan(FRAME_HEADER));
        frame.length = static_cast<uint16_t>(FRAME_HEADER + taken);
        if (outstanding() == 0) retransmitAt_ = now + RETRANSMIT_MS;
        const uint8_t index = sendSeq_;
        sendSeq_ = static_cast<uint8_t>((sendSeq_ + 1) & 7);
        sendSlot(index, now, sink);
    }
    if (ackOwed_) sendAck(now, sink);
}

bool ServerLink::tick(int64_t now, FrameSink& sink) {
    if (outstanding() > 0 && now >= retransmitAt_) {
        if (retransmissions_ >= MAX_RETRANSMISSIONS) return false;
        ++retransmissions_;
        resendOutstanding(now, sink);
    }
    if (probing_ && now - lastSentAt_ >= IDLE_PROBE_MS) sendAck(now, sink);
    return true;
}

void ServerLink::sendSlot(uint8_t index, int64_t now, FrameSink& sink) {
    SentFrame& frame = frames_[index];
    frame.bytes[2] = static_cast<uint8_t>(index | (recvSeq_ << 4));
    frame.sentAt = now;
    lastSentAt_ = now;
    ackOwed_ = false;
    sink.sendFrame(std::span<const uint8_t>(frame.bytes.data(), frame.length));
}

void ServerLink::sendAck(int64_t now, FrameSink& sink) {
    const std::array<uint8_t, 3> ack{FRAME_LINK, TYPE_ACK, static_cast<uint8_t>(ackedSeq_ | (recvSeq_ << 4))};
    ackOwed_ = false;
    lastSentAt_ = now;
    sink.sendFrame(ack);
}

void ServerLink::resendOutstanding(int64_t now, FrameSink& sink) {
    for (uint8_t i = ackedSeq_; i != sendSeq_; i = static_cast<uint8_t>((i + 1) & 7)) sendSlot(i, now, sink);
    retransmitAt_ = now + RETRANSMIT_MS;
}

// Moves whole elements from the front of the pending buffer into out.
size_t ServerLink::takeElements(std::span<uint8_t> out) {
    size_t used = 0;
    while (used < pendingLength_) {
        const size_t size = static_cast<size_t>(pending_[used + 1]) + 1;
        if (used + size > out.size()) break;
        used += size;
    }
    std::memcpy(out.data(), pending_.data(), used);
    std::memmove(pending_.data(), pending_.data() + used, pendingLength_ - used);
    pendingLength_ -= used;
    return used;
}

}  // namespace vorpel::callserver
