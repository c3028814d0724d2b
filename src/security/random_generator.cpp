#include "security/random_generator.h"

namespace vorpel {

CalendarFields tickCountCalendar(uint32_t tickCountMs, bool localTime) {
    const std::time_t seconds = static_cast<std::time_t>(tickCountMs);
    std::tm tm{};
    if (localTime) {
        localtime_r(&seconds, &tm);
    } else {
        gmtime_r(&seconds, &tm);
    }
    return {static_cast<uint32_t>(tm.tm_mon + 1), static_cast<uint32_t>(tm.tm_mday),
            static_cast<uint32_t>(tm.tm_hour), static_cast<uint32_t>(tm.tm_min),
            static_cast<uint32_t>(tm.tm_sec)};
}

uint32_t tickCountSeed(const CalendarFields& f) {
    return f.second + 60u * (f.minute + 60u * (f.hour + 30u * (f.day + 12u * f.month)));
}

uint32_t SeededRandDraw::draw() {
    if (seeded_ == 0) {
        seeded_ = 1;
        seed_ = tickCountSeed(tickCountCalendar(tickCount_(), localTime_));
        randState_ = seed_;
    }
    // The linear congruential rand() of the C standard's example, 15-bit range.
    randState_ = randState_ * 1103515245u + 12345u;
    return (randState_ >> 16) & 0x7FFFu;
}

void xteaEncipher(uint32_t& v0, uint32_t& v1, const std::array<uint32_t, 4>& key) {
    constexpr uint32_t DELTA = 0x9E3779B9;
    uint32_t sum = 0;
    for (int cycle = 0; cycle < 32; ++cycle) {
        v0 += (((v1 << 4) ^ (v1 >> 5)) + v1) ^ (sum + key[sum & 3]);
        sum += DELTA;
        v1 += (((v0 << 4) ^ (v0 >> 5)) + v0) ^ (sum + key[(sum >> 11) & 3]);
    }
}

uint32_t RandomGenerator::nextRandomWord() {
    const uint32_t s = draw_.draw();
    uint32_t a = state0_ + s;
    uint32_t b = state1_ - s;
    xteaEncipher(a, b, XTEA_KEY);
    state0_ = a;
    state1_ = b;
    return a ^ b;
}

}  // namespace vorpel
