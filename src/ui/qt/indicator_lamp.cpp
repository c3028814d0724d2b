#include "ui/qt/indicator_lamp.h"

#include <QPainter>

namespace vorpel {

IndicatorLamp::IndicatorLamp(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(Qt::NoFocus); }

void IndicatorLamp::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), isEnabled() ? litColour() : darkColour());
}

}  // namespace vorpel
