// What the shell and its phone window need of the terminal's sockets and of
// the device's power service. The Terminal implements it by forwarding to the
// transport and the platform; the shell's tests supply a recording fake.
//
// Threads: window thread. ensureSignallingSocket and the two closes run under
// the engine lock, which the caller holds.
#pragma once

namespace vorpel {

class ShellServices {
public:
    virtual ~ShellServices() = default;
    // The platform's socket start-up; false when sockets cannot work.
    virtual bool startSockets() = 0;
    // Creates and connects the signalling socket when it is missing and the
    // engine has left Validate. False only when that was tried on this call and failed.
    virtual bool ensureSignallingSocket() = 0;
    virtual void closeVoiceSocket() = 0;
    virtual void closeSignallingSocket() = 0;
    virtual void resetIdleTimer() = 0;
};

}  // namespace vorpel
