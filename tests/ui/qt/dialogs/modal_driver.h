// Drives a modal dialog from inside its own event loop: the action runs as
// soon as the dialog is the active modal widget.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace vorpel::test {

inline void whenModal(std::function<void(QWidget&)> action) {
    auto* poll = new QTimer;
    poll->setInterval(1);
    QObject::connect(poll, &QTimer::timeout, [poll, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) return;
        poll->stop();
        poll->deleteLater();
        action(*modal);
    });
    poll->start();
}

}  // namespace vorpel::test
