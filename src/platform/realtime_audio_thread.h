// The audio thread on Linux: a std::thread that asks for the real-time
// scheduling class SCHED_FIFO at its highest priority; without the privilege
// for it the thread keeps the normal class.
#pragma once

#include <thread>

#include "media/audio_thread_port.h"

namespace vorpel {

class RealtimeAudioThread final : public AudioThreadPort {
public:
    ~RealtimeAudioThread() override { join(); }

    bool start(Body body, void* context) override;
    void join() override;

private:
    std::thread thread_;
};

}  // namespace vorpel
