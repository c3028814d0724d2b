#include "ui/qt/dialogs/dialog_units.h"

#include <QFontMetrics>
#include <QString>

namespace vorpel {

namespace {

// The average width is taken over the 52 Latin letters, rounded to the nearest pixel.
int averageLetterWidth(const QFontMetrics& metrics) {
    static const QString LETTERS = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int total = metrics.horizontalAdvance(LETTERS);
    return (total + 26) / 52;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    baseWidth_ = averageLetterWidth(metrics);
    baseHeight_ = metrics.height();
}

}  // namespace vorpel
