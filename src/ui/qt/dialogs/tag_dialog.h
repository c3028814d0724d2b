// CDTagupd: the update dialog over the record's five short texts. A
// "Cancel" button above five edits; the action key (Enter) accepts, or
// cancels while the "Cancel" button has the focus. The
// texts come in and go out through a TagForm, which skips zero bytes and
// keeps 16 characters of each text.
#pragma once

#include <array>

#include "phone/tag_form.h"
#include "ui/qt/dialogs/action_key_dialog.h"

class QLineEdit;
class QPushButton;

namespace vorpel {

class CDTagupd final : public ActionKeyDialog {
public:
    explicit CDTagupd(const TagForm& form, QWidget* parent = nullptr);

    // The texts in the edits now.
    TagForm readForm() const;

private:
    std::array<QLineEdit*, TAG_FIELD_COUNT> edits_{};
    QPushButton* cancelButton_;
};

// Runs CDTagupd modally; true when the user accepted, the form then holding
// the edited texts.
bool execTagDialog(TagForm& form, QWidget* parent);

}  // namespace vorpel
