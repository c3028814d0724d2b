#include "ui/qt/phone_layout.h"

namespace vorpel {

PhoneLayout phoneLayout(int width, int height) {
    const int w = width;
    const int h = height;
    const int k = w / 7;
    const int top = h / 2;
    PhoneLayout layout;
    layout.display = QRect(0, 0, w - 1, h / 2 - 1);
    layout.buttons[static_cast<size_t>(PhoneButton::Yes)] = QRect(0, top, k - 1, h / 6 - 1);
    layout.buttons[static_cast<size_t>(PhoneButton::No)] = QRect(6 * k, top, k - 1, h / 6 - 1);
    // The function keys in two rows of five between the hook keys: index i
    // sits in column 1 + i % 5 of row i / 5.
    for (uint32_t i = 0; i < FUNCTION_KEY_COUNT; ++i) {
        const int column = 1 + static_cast<int>(i % 5);
        const int y = i < 5 ? top : top + h / 12;
        layout.buttons[static_cast<size_t>(functionKey(i))] = QRect(column * k, y, k - 1, h / 12 - 1);
    }
    for (size_t column = 0; column < LAMP_COUNT; ++column) {
        layout.lamps[column] = QRect(static_cast<int>(column) * k, top + h / 6, k - 1, h / 24 - 1);
    }
    // The keypad: three equal columns over the width, four equal rows over
    // what is left below the lamps, with a one-pixel gap as between the keys above.
    const int keypadTop = top + h / 6 + h / 24;
    const int rowHeight = (h - keypadTop) / 4;
    const int columnWidth = w / 3;
    for (size_t i = 0; i < KEYPAD_KEY_COUNT; ++i) {
        const int column = static_cast<int>(i % 3);
        const int row = static_cast<int>(i / 3);
        layout.keypad[i] =
            QRect(column * columnWidth, keypadTop + row * rowHeight, columnWidth - 1, rowHeight - 1);
    }
    return layout;
}

}  // namespace vorpel
