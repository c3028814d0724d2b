#include "phone/phone_keys.h"

namespace vorpel {

std::optional<PhoneButton> buttonByCaption(std::string_view caption) {
    for (size_t i = 0; i < BUTTONS.size(); ++i) {
        if (BUTTONS[i].caption == caption) return static_cast<PhoneButton>(i);
    }
    return std::nullopt;
}

}  // namespace vorpel
