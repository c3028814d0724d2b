// The desktop keyboard in the terms of the handheld's keys: the digits of the
// top row and of the number pad, '*' and '#' are the device's keypad; the
// arrows are its navigation keys, Enter (either) its action key and Escape its
// back key.
#pragma once

#include <cstdint>
#include <optional>

namespace vorpel {

// The device's virtual key for a Qt key (Qt::Key), or nothing for a key the
// handheld does not have.
std::optional<uint8_t> virtualKeyOf(int qtKey);

}  // namespace vorpel
