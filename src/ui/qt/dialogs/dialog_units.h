// Dialog templates give their sizes in dialog units: a quarter of the font's
// average character width across and an eighth of its height down. These turn
// them into pixels for a widget's font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace vorpel {

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);

    int x(int units) const { return units * baseWidth_ / 4; }
    int y(int units) const { return units * baseHeight_ / 8; }
    QSize size(int width, int height) const { return {x(width), y(height)}; }
    QRect rect(int left, int top, int width, int height) const {
        return {x(left), y(top), x(width), y(height)};
    }

private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace vorpel
