// A dialog that the action key (Enter) accepts when no push button has the
// focus or is the default: the small dialogs end with the platform's default
// command, OK. A focused push button is pressed instead.
#pragma once

#include <QDialog>

namespace vorpel {

class ActionKeyDialog : public QDialog {
public:
    explicit ActionKeyDialog(QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace vorpel
