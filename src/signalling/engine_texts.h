// The engine's own texts: status lines and the two-line messages shown on a
// display row. Characters are bytes of the server's character set.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace vorpel {

enum StatusTextIndex : unsigned {
    STATUS_BANNER = 0,
    STATUS_INITIALIZING = 1,
    STATUS_VALIDATING = 2,
    STATUS_REGISTERING = 3,
    STATUS_SYNCHRONIZING = 4,
    STATUS_REFUSED = 5,
};

inline constexpr std::array<std::string_view, 6> STATUS_TEXT{
    "MTL540 Qlnk Version 1.16", "Initializing..",
    "Validating Settings..",    "Registering..",
    "Synchronizing..",          "Velmarch refused connctn!",
};

enum MessageIndex : unsigned {
    MESSAGE_BLANK = 0,
    MESSAGE_BAD_ADDRESS = 1,
    MESSAGE_BAD_ACCOUNT = 2,
    MESSAGE_SHORT_PASSWORD = 3,
};

// The first 25 characters fill a row's first line, the rest its second.
inline constexpr std::array<std::string_view, 4> MESSAGE_TABLE{
    "",
    "Velmarch IP address      invalid!",
    "Velmarch Account         invalid!",
    "Velmarch Password        too short!",
};

// The line where the engine shows its status, and the lines of a refusal.
inline constexpr unsigned BANNER_LINE = 0;
inline constexpr unsigned STATUS_LINE = 1;
inline constexpr unsigned REFUSAL_LINE = 6;
inline constexpr unsigned REFUSAL_TEXT_LINE = 7;
// The row of the validation messages (lines 6 and 7).
inline constexpr unsigned MESSAGE_ROW = 3;

}  // namespace vorpel
