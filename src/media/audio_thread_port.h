// The audio thread as the audio driver needs it from the platform: one thread
// that runs the driver's loop at the highest scheduling priority the system
// grants (real-time where the user may have it, the normal one otherwise).
//
// Threads: start and join are called by the driver on the window thread
// (its init and close), never at once.
#pragma once

namespace vorpel {

class AudioThreadPort {
public:
    using Body = void (*)(void* context);

    virtual ~AudioThreadPort() = default;
    // Starts one thread that runs body(context) once. False when no thread
    // could be made; nothing runs then.
    virtual bool start(Body body, void* context) = 0;
    // Waits until the thread's body has returned (the caller has told it to
    // leave). Does nothing when no thread was started since the last join.
    virtual void join() = 0;
};

}  // namespace vorpel
