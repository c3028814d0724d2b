// CDSett: the settings form. Four edits (server address, account id, auth
// id, password shown in clear) beside their labels, the keep-awake check box,
// the two account-slot controls (store into / load from slot 0 or 1) and the
// soft keys "Ok" and "Cancel".
//
// The rows are laid out from the phone window's size W x H: row r (1 to 4)
// at r * (H / 10), edits on the left two thirds, labels on the right. The
// back key (Escape) removes the last character of the focused edit's text
// wherever the cursor is, and never closes the form. The form validates
// nothing: the engine does that after its restart.
//
// The slot buttons write and read the record's account slots at once; the
// four live fields and keep-awake change only when the caller stores the
// accepted form.
#pragma once

#include <QDialog>
#include <QSize>

#include "phone/settings_form.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace vorpel {

class CDSett final : public QDialog {
public:
    // Field numbers of the four edits, as the focus notifications report them.
    static constexpr int ADDRESS_FIELD = 3;
    static constexpr int PASSWORD_FIELD = 6;
    static constexpr int NO_FIELD = -1;
    // Every edit takes at most this many characters; storing cuts them further.
    static constexpr int EDIT_LIMIT = 64;

    CDSett(const SettingsForm& form, SettingsRecord& record, QSize screen, QWidget* parent = nullptr);

    // The values on the form now (the "read the form" step).
    SettingsForm readForm() const;
    void writeForm(const SettingsForm& form);
    // 3 to 6 while an edit has the focus, NO_FIELD otherwise.
    int focusedField() const;
    // The back key's operation.
    void backSpace();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutControls(QSize size);
    void storeSlot();
    void loadSlot();

    SettingsRecord& record_;
    QLineEdit* edits_[4];
    QLineEdit* labels_[4];
    QCheckBox* keepAwake_;
    QComboBox* storeSlots_;
    QPushButton* storeButton_;
    QComboBox* loadSlots_;
    QPushButton* loadButton_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
};

// Runs CDSett modally over the form; true when the user accepted, the form
// then holding the values to store.
bool execSettingsDialog(SettingsForm& form, SettingsRecord& record, QSize screen, QWidget* parent);

}  // namespace vorpel
