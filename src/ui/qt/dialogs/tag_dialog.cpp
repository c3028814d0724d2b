#include "ui/qt/dialogs/tag_dialog.h"

#include <QLineEdit>
#include <QPushButton>

#include "ui/qt/dialogs/dialog_units.h"

namespace vorpel {

namespace {

// The dialog template's sizes, in dialog units.
constexpr int DIALOG_WIDTH = 186;
constexpr int DIALOG_HEIGHT = 95;
constexpr int MARGIN = 7;
constexpr int FIRST_EDIT_TOP = 24;
constexpr int EDIT_PITCH = 13;
constexpr int EDIT_WIDTH = 83;
constexpr int EDIT_HEIGHT = 12;
constexpr int CANCEL_WIDTH = 50;
constexpr int CANCEL_HEIGHT = 14;

}  // namespace

CDTagupd::CDTagupd(const TagForm& form, QWidget* parent) : ActionKeyDialog(parent) {
    const DialogUnits units(font());
    setFixedSize(units.size(DIALOG_WIDTH, DIALOG_HEIGHT));
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setObjectName(QStringLiteral("cancel"));
    // Never the default: Enter ends the dialog with OK unless "Cancel" itself
    // has the focus (then Enter presses it, as any focused push button).
    cancelButton_->setAutoDefault(false);
    cancelButton_->setGeometry(units.rect(MARGIN, MARGIN, CANCEL_WIDTH, CANCEL_HEIGHT));
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    for (size_t i = 0; i < TAG_FIELD_COUNT; ++i) {
        auto* edit = new QLineEdit(QString::fromStdU16String(form.texts[i]), this);
        edit->setObjectName(QStringLiteral("text%1").arg(i + 1));
        const int top = FIRST_EDIT_TOP + static_cast<int>(i) * EDIT_PITCH;
        edit->setGeometry(units.rect(MARGIN, top, EDIT_WIDTH, EDIT_HEIGHT));
        edits_[i] = edit;
    }
    edits_[0]->setFocus();
}

TagForm CDTagupd::readForm() const {
    TagForm form;
    for (size_t i = 0; i < TAG_FIELD_COUNT; ++i) form.texts[i] = edits_[i]->text().toStdU16String();
    return form;
}

bool execTagDialog(TagForm& form, QWidget* parent) {
    CDTagupd dialog(form, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    form = dialog.readForm();
    return true;
}

}  // namespace vorpel
