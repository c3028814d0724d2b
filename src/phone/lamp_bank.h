// The seven indicator lamps and how the server's indicator table drives them.
//
// Ten of the 64 indicators reach a lamp. Lamps follow a changed indicator
// state (remembered in lampShadow) and blink from the raw tick count: state 1
// fast (period 4 ticks), state 2 slowly (period 16 ticks), state 3 steadily on.
// A group lamp shared by several indicators is only switched by states 0 and
// 3; when more than one of them acts on one tick the last in order wins.
//
// Threads: window thread only, under the engine lock (it reads the indicators).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vorpel {

inline constexpr size_t LAMP_COUNT = 7;

enum class LampRule : uint8_t { Single, OnOff, Group };

struct LampDrive {
    uint8_t indicator;
    uint8_t column;  // 0..6, left to right
    LampRule rule;
};

// Lamp control ids by column.
inline constexpr std::array<uint16_t, LAMP_COUNT> LAMP_IDS{1028, 1049, 1050, 1026, 1027, 1025, 1032};

// The order in which the indicators are applied on each tick: the group
// lamps first, then the others.
inline constexpr std::array<LampDrive, 10> LAMP_DRIVES{{
    {7, 5, LampRule::Group},
    {15, 6, LampRule::Group},
    {23, 5, LampRule::Group},
    {31, 5, LampRule::Group},
    {39, 5, LampRule::Group},
    {9, 1, LampRule::OnOff},
    {42, 2, LampRule::OnOff},
    {32, 4, LampRule::Single},
    {0, 3, LampRule::Single},
    {24, 0, LampRule::Single},
}};

class LampBank {
public:
    // Every lamp lit, as the window shows them before the first tick.
    LampBank() { lit_.fill(true); }

    const std::array<bool, LAMP_COUNT>& lit() const { return lit_; }

    // Darkens every lamp and forgets the applied states, so that each lamp is
    // set again from its indicator on the next update.
    void darkenAll();
    // One update from the indicator table (64 entries) at raw tick count t.
    void update(std::span<const uint8_t> indicators, uint32_t rawTickCount);

private:
    std::array<bool, LAMP_COUNT> lit_{};
    std::array<uint8_t, 64> lampShadow_{};
};

}  // namespace vorpel
