#include "ui/qt/dialogs/about_dialog.h"

#include <QLabel>

#include "ui/qt/dialogs/dialog_units.h"

namespace vorpel {

namespace {

QString latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CDAbout::CDAbout(QWidget* parent) : ActionKeyDialog(parent) {
    const DialogUnits units(font());
    setWindowTitle(latin1(ABOUT_TITLE));
    setFixedSize(units.size(156, 129));
    auto* icon = new QLabel(this);  // the icon place stays empty
    icon->setObjectName(QStringLiteral("icon"));
    icon->setGeometry(units.rect(12, 12, 20, 20));
    auto* product = new QLabel(latin1(PRODUCT_TEXT), this);
    product->setObjectName(QStringLiteral("product"));
    product->setTextFormat(Qt::PlainText);
    product->setGeometry(units.rect(7, 36, 142, 8));
}

void execAboutDialog(QWidget* parent) {
    CDAbout dialog(parent);
    dialog.exec();
}

}  // namespace vorpel
