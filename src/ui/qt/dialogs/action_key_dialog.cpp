#include "ui/qt/dialogs/action_key_dialog.h"

#include <QKeyEvent>
#include <QPushButton>

namespace vorpel {

ActionKeyDialog::ActionKeyDialog(QWidget* parent) : QDialog(parent) {}

void ActionKeyDialog::keyPressEvent(QKeyEvent* event) {
    const bool actionKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (actionKey && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        // The action key presses the push button that has the focus.
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget());
            focused != nullptr && focused->isEnabled()) {
            focused->click();
            return;
        }
        for (QPushButton* button : findChildren<QPushButton*>()) {
            if (button->isDefault()) return QDialog::keyPressEvent(event);
        }
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace vorpel
