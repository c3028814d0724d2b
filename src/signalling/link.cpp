// The sequenced link: a go-back-N send window of eight slots, cumulative
// acknowledgements in both directions, delayed acks and the keep-alive.
//
// The frames ackedSeq .. sendSeq-1 (modulo 8) are sent and unacknowledged; at
// most seven are outstanding, and an eighth that would have to go out marks
// the link lost instead. There is no retransmission timer: frames are sent
// again only when the server's ack frame names an earlier number.
#include <algorithm>

#include "signalling/engine.h"
#include "signalling/signalling_wire.h"

namespace vorpel {

namespace {
constexpr uint32_t KEEPALIVE_TICKS = 100;
constexpr uint32_t ACK_DELAY_TICKS = 10;
constexpr uint16_t ACK_HOLDOFF_TICKS = 3;

constexpr uint8_t nextSeq(uint8_t seq) { return static_cast<uint8_t>((seq + 1) & wire::SEQUENCE_MASK); }
constexpr uint8_t ackNumber(uint8_t byte) {
    return static_cast<uint8_t>((byte >> wire::ACK_NUMBER_SHIFT) & wire::SEQUENCE_MASK);
}
}  // namespace

void SignallingEngine::writeLinkHeader(ByteWriter& out) const {
    out.u8(wire::KIND_LINK).u16le(state_.terminalId);
}

void SignallingEngine::transmit(const ByteWriter& out) { ports_.sendSignalling(out.written()); }

void SignallingEngine::noteFrameSent() {
    state_.link.keepaliveTicks = 0;
    state_.link.ackDelayTicks = 0;
}

void SignallingEngine::appendElement(std::span<const uint8_t> element) {
    LinkState& link = state_.link;
    if (element.size() > SEND_SLOT_BODY - wire::SLOT_EMPTY_COUNT) return;  // could never fit a frame
    SendSlot* slot = &link.slots[link.sendSeq];
    if (slot->count >= wire::SLOT_FULL_COUNT || slot->count + element.size() > SEND_SLOT_BODY) {
        flushSlot();
        slot = &link.slots[link.sendSeq];
    }
    std::copy(element.begin(), element.end(), slot->body.begin() + slot->count);
    slot->count += static_cast<uint32_t>(element.size());
}

void SignallingEngine::flushSlot() {
    LinkState& link = state_.link;
    const uint8_t s = link.sendSeq;
    if (link.slots[s].count <= wire::SLOT_EMPTY_COUNT) return;
    const uint8_t next = nextSeq(s);
    if (next == link.ackedSeq) {
        // Seven frames are outstanding: the link is lost; the next tick in
        // Connected tears it down.
        link.linkLost = 1;
    } else {
        sendSlot(s);
    }
    link.sendSeq = next;
    link.slots[next].count = wire::SLOT_EMPTY_COUNT;
}

void SignallingEngine::sendSlot(unsigned sequence) {
    LinkState& link = state_.link;
    SendSlot& slot = link.slots[sequence & wire::SEQUENCE_MASK];
    // A frame sent again carries the acknowledgement of the moment.
    slot.body[0] = wire::LINK_DATA;
    slot.body[1] =
        static_cast<uint8_t>((sequence & wire::SEQUENCE_MASK) | (link.recvSeq << wire::ACK_NUMBER_SHIFT));
    const size_t count = std::clamp<size_t>(slot.count, wire::SLOT_EMPTY_COUNT, SEND_SLOT_BODY);
    ByteWriter out(transmitBuffer_);
    writeLinkHeader(out);
    out.bytes(std::span<const uint8_t>(slot.body).first(count));
    transmit(out);
    link.reportedSeq = link.recvSeq;
    noteFrameSent();
}

void SignallingEngine::sendAck() {
    LinkState& link = state_.link;
    ByteWriter out(transmitBuffer_);
    writeLinkHeader(out);
    out.u8(wire::LINK_ACK).u8(link.ackByte());
    transmit(out);
    link.reportedSeq = link.recvSeq;
    noteFrameSent();
}

bool SignallingEngine::acceptAck(uint8_t sequenceOrAckByte) {
    LinkState& link = state_.link;
    const uint8_t n = ackNumber(sequenceOrAckByte);
    // The window runs from ackedSeq up to sendSeq, both included, modulo 8.
    const bool inWindow = link.sendSeq >= link.ackedSeq ? (n >= link.ackedSeq && n <= link.sendSeq)
                                                        : (n >= link.ackedSeq || n <= link.sendSeq);
    if (inWindow) link.ackedSeq = n;
    return inWindow;
}

void SignallingEngine::handleLinkFrame(std::span<const uint8_t> frame) {
    const ByteReader in(frame);
    if (in.size() == 0) return;
    const uint8_t type = in.u8(0);
    if (type == wire::LINK_CONNECT_CONFIRM && in.size() == 1) {
        handleConnectConfirm();
    } else if (type == wire::LINK_ACK && in.size() == 2) {
        if (!acceptAck(in.u8(1))) return;
        // Go back N: send again everything from the first frame the server lacks.
        for (uint8_t s = state_.link.ackedSeq; s != state_.link.sendSeq; s = nextSeq(s)) sendSlot(s);
    } else if (type == wire::LINK_DATA && in.size() >= 2) {
        handleDataFrame(frame);
    }
}

void SignallingEngine::handleDataFrame(std::span<const uint8_t> frame) {
    LinkState& link = state_.link;
    const uint8_t sequenceByte = frame[1];
    if ((sequenceByte & wire::SEQUENCE_MASK) == link.recvSeq) {
        link.ackHoldoff = 0;
        for (size_t position = 2; position < frame.size();) position = interpretElement(frame, position);
        link.recvSeq = nextSeq(link.recvSeq);
        if (link.ackedSeq != link.sendSeq) acceptAck(sequenceByte);
        return;
    }
    // A repeat or a gap: tell the server at once what is expected, then
    // ignore further strays while it resends. Their elements never run.
    if (link.ackHoldoff != 0) return;
    acceptAck(sequenceByte);
    sendAck();
    link.ackHoldoff = ACK_HOLDOFF_TICKS;
}

void SignallingEngine::linkUpkeep() {
    LinkState& link = state_.link;
    if (link.ackHoldoff > 0) --link.ackHoldoff;
    if (++link.keepaliveTicks >= KEEPALIVE_TICKS) {
        link.keepaliveTicks = 0;
        queueCallStateReport();
    }
    flushSlot();
    if (link.reportedSeq == link.recvSeq) return;
    ++link.ackDelayTicks;
    if (link.ackHoldoff == 0 && link.ackDelayTicks >= ACK_DELAY_TICKS) sendAck();
}

void SignallingEngine::resetLink() {
    LinkState fresh;
    fresh.ackHoldoff = state_.link.ackHoldoff;
    fresh.syncExpected = state_.link.syncExpected;
    fresh.keepaliveTicks = state_.link.keepaliveTicks;
    fresh.ackDelayTicks = state_.link.ackDelayTicks;
    state_.link = fresh;
}

}  // namespace vorpel
