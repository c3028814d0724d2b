// Where the phone window's controls sit, from the size W x H of the phone
// area (the window's client area above the soft-key bar). K = W / 7; all
// divisions are integer divisions.
//
//   display list                        (0, 0)             W - 1  x  H/2 - 1
//   "Yes" | 5 function keys | "No"      row at H/2         K - 1  x  H/12 - 1 (hook keys H/6 - 1)
//         | 5 function keys |           row at H/2 + H/12
//   7 lamps                             row at H/2 + H/6   K - 1  x  H/24 - 1
//   keypad, 3 columns x 4 rows          the empty bottom 7/24 of the area
//
// The keypad has no place of its own on a handheld (its keys are the
// device's); on a desktop its twelve buttons fill the empty lower part.
#pragma once

#include <QRect>
#include <array>
#include <cstddef>

#include "phone/lamp_bank.h"
#include "phone/phone_keys.h"

namespace vorpel {

inline constexpr size_t KEYPAD_KEY_COUNT = 12;

struct KeypadKey {
    char key;            // '0'..'9', '*', '#'
    uint16_t controlId;  // 1007..1018
};

// The keypad buttons in reading order (rows 1 2 3 / 4 5 6 / 7 8 9 / * 0 #).
inline constexpr std::array<KeypadKey, KEYPAD_KEY_COUNT> KEYPAD_KEYS{{
    {'1', 1007},
    {'2', 1011},
    {'3', 1015},
    {'4', 1008},
    {'5', 1012},
    {'6', 1016},
    {'7', 1009},
    {'8', 1013},
    {'9', 1017},
    {'*', 1010},
    {'0', 1014},
    {'#', 1018},
}};

struct PhoneLayout {
    QRect display;
    std::array<QRect, PHONE_BUTTON_COUNT> buttons;  // indexed by PhoneButton
    std::array<QRect, LAMP_COUNT> lamps;            // by column
    std::array<QRect, KEYPAD_KEY_COUNT> keypad;     // in KEYPAD_KEYS order
};

PhoneLayout phoneLayout(int width, int height);

}  // namespace vorpel
