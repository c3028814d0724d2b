#include "platform/realtime_audio_thread.h"

#include <pthread.h>
#include <sched.h>

#include <system_error>

namespace vorpel {

bool RealtimeAudioThread::start(Body body, void* context) {
    if (thread_.joinable()) return false;
    try {
        thread_ = std::thread(body, context);
    } catch (const std::system_error&) {
        return false;
    }
    sched_param parameters{};
    parameters.sched_priority = sched_get_priority_max(SCHED_FIFO);
    (void)pthread_setschedparam(thread_.native_handle(), SCHED_FIFO, &parameters);
    return true;
}

void RealtimeAudioThread::join() {
    if (thread_.joinable()) thread_.join();
}

}  // namespace vorpel
