#include "ui/qt/dialogs/error_box.h"

#include <QMessageBox>

namespace vorpel {

std::unique_ptr<QMessageBox> makeErrorBox(QWidget* parent, std::string_view text) {
    // The texts are the terminal's own single-byte texts.
    const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    auto box = std::make_unique<QMessageBox>(QMessageBox::Critical, QStringLiteral("Vorpel"), shown,
                                             QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void showErrorBox(QWidget* parent, std::string_view text) { makeErrorBox(parent, text)->exec(); }

}  // namespace vorpel
