#include "ui/qt/qt_key_map.h"

#include <Qt>

#include "phone/phone_keys.h"

namespace vorpel {

std::optional<uint8_t> virtualKeyOf(int qtKey) {
    // The number pad sends the same key codes as the top row (with a modifier).
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return static_cast<uint8_t>(0x30 + (qtKey - Qt::Key_0));
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return VK_STAR;
    case Qt::Key_NumberSign:
        return VK_POUND;
    case Qt::Key_Left:
        return VK_LEFT;
    case Qt::Key_Up:
        return VK_UP;
    case Qt::Key_Right:
        return VK_RIGHT;
    case Qt::Key_Down:
        return VK_DOWN;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return VK_ACTION;
    case Qt::Key_Escape:
        return VK_BACK;
    default:
        return std::nullopt;
    }
}

}  // namespace vorpel
