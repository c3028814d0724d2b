#include "ui/qt/dialogs/statistics_dialog.h"

#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace vorpel {

QString describeCallStatistics(const CallStatistics& s) {
    return QStringLiteral(
               "Packets sent: %1\nPackets received: %2\nFrames played: %3\nFrames missing: %4\n"
               "Late packets: %5\nResynchronisations: %6\nJitter ring fill: %7 frames\nDecrypt failures: %8")
        .arg(s.sent)
        .arg(s.received)
        .arg(s.played)
        .arg(s.missing)
        .arg(s.late)
        .arg(s.resyncs)
        .arg(s.fill)
        .arg(s.decryptFailures);
}

StatisticsDialog::StatisticsDialog(std::function<CallStatistics()> source, QWidget* parent)
    : QDialog(parent), source_(std::move(source)) {
    setWindowTitle(
        QString::fromLatin1(STATISTICS_TITLE.data(), static_cast<qsizetype>(STATISTICS_TITLE.size())));
    text_ = new QLabel(this);
    text_->setObjectName(QStringLiteral("statistics"));
    text_->setTextFormat(Qt::PlainText);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { refresh(); });
    timer_->start(500);
    refresh();
}

void StatisticsDialog::refresh() { text_->setText(describeCallStatistics(source_())); }

}  // namespace vorpel
