#include "app/protocol_trace.h"

#include <ctime>

#include "trace/frame_trace.h"

namespace vorpel {

ProtocolTrace::ProtocolTrace(std::FILE* out, PeriodicTimer& timer) : out_(out), timer_(timer) {
    timer_.create(1000, *this);
}

ProtocolTrace::~ProtocolTrace() {
    timer_.kill();
    onTimer();  // the packets of the last second
    const MutexLock lock(mutex_);
    std::fclose(out_);
}

std::unique_ptr<ProtocolTrace> ProtocolTrace::open(const std::string& path, PeriodicTimer& timer) {
    std::FILE* out = std::fopen(path.c_str(), "we");
    if (out == nullptr) return nullptr;
    return std::make_unique<ProtocolTrace>(out, timer);
}

void ProtocolTrace::signallingFrame(bool outgoing, std::span<const uint8_t> frame) {
    line((outgoing ? "out " : "in  ") + describeSignalling(frame, outgoing));
}

void ProtocolTrace::voicePacket(bool outgoing) {
    (outgoing ? voiceOut_ : voiceIn_).fetch_add(1, std::memory_order_relaxed);
}

void ProtocolTrace::onTimer() {
    const uint32_t in = voiceIn_.exchange(0, std::memory_order_relaxed);
    const uint32_t out = voiceOut_.exchange(0, std::memory_order_relaxed);
    if (in != 0 || out != 0) line("voice in " + std::to_string(in) + " out " + std::to_string(out));
}

void ProtocolTrace::line(std::string_view text) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    const MutexLock lock(mutex_);
    std::fprintf(out_, "%02d:%02d:%02d.%03ld %.*s\n", local.tm_hour, local.tm_min, local.tm_sec,
                 now.tv_nsec / 1000000, static_cast<int>(text.size()), text.data());
    std::fflush(out_);
}

}  // namespace vorpel
