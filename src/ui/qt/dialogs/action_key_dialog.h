// A dialog that the action key (Enter) accepts when no push button is the
// default: the small dialogs end with the platform's default command, OK.
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
