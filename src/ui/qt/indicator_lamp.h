// One of the seven indicator lamps: a button that shows solid red while it
// is enabled (lit) and solid mid-grey while it is disabled (dark). Pressing
// it does nothing.
#pragma once

#include <QAbstractButton>

namespace vorpel {

class IndicatorLamp final : public QAbstractButton {
public:
    explicit IndicatorLamp(QWidget* parent = nullptr);

    static QColor litColour() { return QColor(255, 0, 0); }
    static QColor darkColour() { return QColor(128, 128, 128); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace vorpel
