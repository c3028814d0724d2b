// The source of the private Diffie-Hellman exponents: a platform draw whitened
// through XTEA.
//
// Each output mixes one platform draw into a 64-bit state, enciphers the state
// with XTEA (32 cycles) under a fixed 128-bit key and returns the XOR of its
// halves; the state chains from one output to the next and lives as long as
// the generator (engine initialisation does not reset it).
//
// The platform draw of the terminal (platform/kernel_random_draw.h) reads the
// kernel's random source. The draw that seeds a 15-bit rand() from the tick count is kept for the tests
// of the whitening only: its seed has only a few million values, so private
// exponents made from it could be found by trying them all.
//
// Not reentrant; its one user, key-pair generation, runs under the engine lock.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>

namespace vorpel {

// 32 bits of the platform's random source.
class PlatformDraw {
public:
    virtual ~PlatformDraw() = default;
    virtual uint32_t draw() = 0;
};

// Calendar fields of a time, as the seed needs them.
struct CalendarFields {
    uint32_t month = 1;   // 1-12
    uint32_t day = 1;     // 1-31
    uint32_t hour = 0;    // 0-23
    uint32_t minute = 0;  // 0-59
    uint32_t second = 0;  // 0-59
};

// The tick count in milliseconds taken as seconds since 1970-01-01 00:00:00
// UTC, broken down in UTC or in the local time zone.
CalendarFields tickCountCalendar(uint32_t tickCountMs, bool localTime);
// second + 60 * (minute + 60 * (hour + 30 * (day + 12 * month))), modulo 2^32.
uint32_t tickCountSeed(const CalendarFields& fields);

// The legacy draw: a rand() with a 15-bit range (0-32767), seeded once, at the
// first draw, from tickCountSeed of the tick count read then.
class SeededRandDraw final : public PlatformDraw {
public:
    using TickSource = uint32_t (*)();
    explicit SeededRandDraw(TickSource tickCount, bool localTime = true)
        : tickCount_(tickCount), localTime_(localTime) {}
    uint32_t draw() override;
    uint32_t seed() const { return seed_; }

private:
    TickSource tickCount_;
    bool localTime_;
    uint8_t seeded_ = 0;
    uint32_t seed_ = 0;
    uint32_t randState_ = 1;
};

inline constexpr std::array<uint32_t, 4> XTEA_KEY = {0x7C3A91E5, 0x2B64F0D8, 0xE19D47A2, 0x5F08C36B};

// XTEA encipher (Needham and Wheeler), 32 cycles, on the pair (v0, v1).
void xteaEncipher(uint32_t& v0, uint32_t& v1, const std::array<uint32_t, 4>& key);

class RandomGenerator {
public:
    explicit RandomGenerator(PlatformDraw& draw) : draw_(draw) {}
    uint32_t nextRandomWord();

private:
    PlatformDraw& draw_;
    uint32_t state0_ = 0;
    uint32_t state1_ = 0;
};

}  // namespace vorpel
