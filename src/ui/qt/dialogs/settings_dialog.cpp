#include "ui/qt/dialogs/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <algorithm>

namespace vorpel {

namespace {

constexpr const char* FIELD_NAMES[4] = {"address", "account", "auth", "password"};
constexpr const char* LABEL_TEXTS[4] = {"IP address", "Account Id", "Auth Id", "Password"};

QString toQString(const std::u16string& text) { return QString::fromStdU16String(text); }

// A slot list with its two entries; the selected index is the slot number.
QComboBox* makeSlotList(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->addItem(QStringLiteral("Slot 0"));
    list->addItem(QStringLiteral("Slot 1"));
    return list;
}

QPushButton* makeButton(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

// Rectangle from left, top, right and bottom edges (right and bottom excluded).
QRect edges(int left, int top, int right, int bottom) { return {left, top, right - left, bottom - top}; }

}  // namespace

CDSett::CDSett(const SettingsForm& form, SettingsRecord& record, QSize screen, QWidget* parent)
    : QDialog(parent), record_(record) {
    for (int row = 0; row < 4; ++row) {
        edits_[row] = new QLineEdit(this);
        edits_[row]->setObjectName(QString::fromLatin1(FIELD_NAMES[row]));
        edits_[row]->setMaxLength(EDIT_LIMIT);
        labels_[row] = new QLineEdit(QString::fromLatin1(LABEL_TEXTS[row]), this);
        labels_[row]->setEnabled(false);
        labels_[row]->setFocusPolicy(Qt::NoFocus);
    }
    keepAwake_ = new QCheckBox(QStringLiteral("Keep awake"), this);
    keepAwake_->setObjectName(QStringLiteral("keepAwake"));
    storeSlots_ = makeSlotList(this, "storeSlot");
    storeButton_ = makeButton(this, QStringLiteral("Store"), "store");
    loadSlots_ = makeSlotList(this, "loadSlot");
    loadButton_ = makeButton(this, QStringLiteral("Load"), "load");
    okButton_ = makeButton(this, QStringLiteral("Ok"), "ok");
    cancelButton_ = makeButton(this, QStringLiteral("Cancel"), "cancel");
    okButton_->setDefault(true);

    connect(storeButton_, &QPushButton::clicked, this, [this] { storeSlot(); });
    connect(loadButton_, &QPushButton::clicked, this, [this] { loadSlot(); });
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    writeForm(form);
    resize(screen);
    layoutControls(screen);
    edits_[0]->setFocus();
}

void CDSett::layoutControls(QSize size) {
    const int w = size.width();
    const int h = size.height();
    const int rowPitch = h / 10;
    const int editRight = 2 * w / 3 - w / 48;
    const int labelLeft = 2 * w / 3 + w / 48;
    auto rowTop = [&](int row) { return row * rowPitch; };
    auto rowBottom = [&](int row) { return (row + 1) * rowPitch - h / 64; };
    for (int row = 1; row <= 4; ++row) {
        edits_[row - 1]->setGeometry(edges(0, rowTop(row), editRight, rowBottom(row)));
        labels_[row - 1]->setGeometry(edges(labelLeft, rowTop(row), w - 1, rowBottom(row)));
    }
    keepAwake_->setGeometry(edges(0, rowTop(5), editRight, rowBottom(5)));
    storeSlots_->setGeometry(edges(0, rowTop(6), editRight, rowBottom(6)));
    storeButton_->setGeometry(edges(labelLeft, rowTop(6), w - 1, rowBottom(6)));
    loadSlots_->setGeometry(edges(0, rowTop(7), editRight, rowBottom(7)));
    loadButton_->setGeometry(edges(labelLeft, rowTop(7), w - 1, rowBottom(7)));
    // The soft-key bar: "Ok" on the left, "Cancel" on the right, along the bottom.
    const int barTop = h - rowPitch;
    okButton_->setGeometry(edges(0, barTop, w / 2 - 1, h - 1));
    cancelButton_->setGeometry(edges(w / 2 + 1, barTop, w - 1, h - 1));
}

SettingsForm CDSett::readForm() const {
    SettingsForm form;
    form.address = edits_[0]->text().toStdU16String();
    form.account = edits_[1]->text().toStdU16String();
    form.auth = edits_[2]->text().toStdU16String();
    form.password = edits_[3]->text().toStdU16String();
    form.keepAwake = keepAwake_->isChecked();
    return form;
}

void CDSett::writeForm(const SettingsForm& form) {
    edits_[0]->setText(toQString(form.address));
    edits_[1]->setText(toQString(form.account));
    edits_[2]->setText(toQString(form.auth));
    edits_[3]->setText(toQString(form.password));
    keepAwake_->setChecked(form.keepAwake);
}

int CDSett::focusedField() const {
    const QWidget* focused = focusWidget();
    for (int row = 0; row < 4; ++row) {
        if (focused == edits_[row]) return ADDRESS_FIELD + row;
    }
    return NO_FIELD;
}

void CDSett::backSpace() {
    SettingsForm form = readForm();
    std::u16string* texts[4] = {&form.address, &form.account, &form.auth, &form.password};
    const int field = focusedField();
    if (field != NO_FIELD) {
        std::u16string& text = *texts[field - ADDRESS_FIELD];
        // A character beyond the first plane takes two code units; both go.
        const size_t size = text.size();
        const bool pair =
            size >= 2 && QChar::isLowSurrogate(text[size - 1]) && QChar::isHighSurrogate(text[size - 2]);
        text.resize(size - std::min<size_t>(size, pair ? 2 : 1));
    }
    writeForm(form);
}

void CDSett::storeSlot() {
    const int slot = storeSlots_->currentIndex();
    if (slot < 0) return;
    readForm().storeSlot(record_, static_cast<size_t>(slot));
}

void CDSett::loadSlot() {
    const int slot = loadSlots_->currentIndex();
    if (slot < 0) return;
    SettingsForm form = readForm();
    form.loadSlot(record_, static_cast<size_t>(slot));
    writeForm(form);
}

void CDSett::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        backSpace();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDSett::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyReleaseEvent(event);
}

void CDSett::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    layoutControls(event->size());
}

bool execSettingsDialog(SettingsForm& form, SettingsRecord& record, QSize screen, QWidget* parent) {
    CDSett dialog(form, record, screen, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    form = dialog.readForm();
    return true;
}

}  // namespace vorpel
