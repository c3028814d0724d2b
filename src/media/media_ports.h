// What the media path needs from the rest of the terminal: the voice socket
// and the backlight. The program wires them to the transport and the power
// service; tests supply recording fakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

// The voice socket's send side. Called on the audio thread, once per
// transmitted block, so the implementation must not block and must be safe
// against the window thread opening and closing the socket meanwhile.
class VoiceSender {
public:
    virtual ~VoiceSender() = default;
    // Sends one RTP packet as one datagram. Returns the bytes accepted; 0
    // while no voice socket exists or while it has not yet reported that it
    // can send.
    virtual size_t sendVoice(std::span<const uint8_t> packet) = 0;
};

// The display backlight's power requirement. Called by the audio driver at
// every start (on) and every stop (off) of the audio devices, from the timer
// thread or the audio thread but never from both at once (the driver holds its
// media lock around both). On while held and off while not held do nothing.
class BacklightPort {
public:
    virtual ~BacklightPort() = default;
    virtual void holdBacklight(bool on) = 0;
};

}  // namespace vorpel
