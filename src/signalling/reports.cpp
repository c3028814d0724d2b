// What the terminal tells the server: key events, call-state reports (also
// the keep-alive), the announce, and the replies to sync checks and echoes.
//
// A key event leaves at once with whatever waits in the slot; the other
// elements wait for the next tick's flush unless they have filled the slot.
#include "signalling/engine.h"
#include "signalling/signalling_wire.h"

namespace vorpel {

void SignallingEngine::queueReply(std::span<const uint8_t> element) {
    appendElement(element);
    if (state_.link.slots[state_.link.sendSeq].count >= wire::SLOT_FULL_COUNT) flushSlot();
}

void SignallingEngine::queueKey(uint16_t keyCode) {
    const std::array<uint8_t, 4> element{wire::EL_KEY_EVENT, wire::REPLY_LENGTH,
                                         static_cast<uint8_t>(keyCode >> 8), static_cast<uint8_t>(keyCode)};
    appendElement(element);
    flushSlot();
}

void SignallingEngine::hookKey() {
    if (audioMode() == AudioMode::Voice)
        releaseAudio();
    else
        startVoice();
}

void SignallingEngine::queueCallStateReport() {
    const uint16_t control = audio_.audioControl.load(std::memory_order_relaxed);
    // The one element without a length byte.
    const std::array<uint8_t, 3> element{wire::EL_CALL_STATE_REPORT, static_cast<uint8_t>(control),
                                         static_cast<uint8_t>(control >> 8)};
    queueReply(element);
}

void SignallingEngine::queueAnnounce() {
    static constexpr std::array<uint8_t, 8> ANNOUNCE{
        wire::EL_ANNOUNCE, 0x07, 0x00, 0x11, 0x00, 0x00, 0x00, 0x00};
    appendElement(ANNOUNCE);
}

}  // namespace vorpel
