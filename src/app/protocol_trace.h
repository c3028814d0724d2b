// The terminal's protocol trace (--trace FILE): every signalling frame in and
// out, described as the call server's trace describes it, and once a second a
// line with the number of voice packets in and out, each line under the local
// time of day:
//
//   12:04:31.220 out registration request account '4711' counter 3 ...
//   12:04:31.241 in  registration reply id 0x1234 ...
//   12:04:35.000 voice in 10 out 10
//
// Threads: frames come from the engine's threads under the engine lock,
// voice packets from the audio and window threads (counted only), and the
// summary from the trace's own one-second timer; a lock keeps lines whole.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "app/transport.h"
#include "common/mutex.h"
#include "platform/periodic_timer.h"

namespace vorpel {

class ProtocolTrace final : public TraceSink, private TimerCallback {
public:
    // Writes to out (which it closes at the end) with its summary on timer.
    ProtocolTrace(std::FILE* out, PeriodicTimer& timer);
    // A trace written to the file at path (created or emptied); null when the
    // file cannot be opened.
    static std::unique_ptr<ProtocolTrace> open(const std::string& path, PeriodicTimer& timer);
    ~ProtocolTrace() override;
    ProtocolTrace(const ProtocolTrace&) = delete;
    ProtocolTrace& operator=(const ProtocolTrace&) = delete;

    void signallingFrame(bool outgoing, std::span<const uint8_t> frame) override;
    void voicePacket(bool outgoing) override;

private:
    void onTimer() override;
    void line(std::string_view text) EXCLUDES(mutex_);

    Mutex mutex_;
    std::FILE* out_ GUARDED_BY(mutex_);
    PeriodicTimer& timer_;
    std::atomic<uint32_t> voiceIn_{0};
    std::atomic<uint32_t> voiceOut_{0};
};

}  // namespace vorpel
