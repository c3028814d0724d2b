// The call statistics: a small window from the Options menu that shows the
// counts of the running call (or of the last one) and follows them twice a
// second, and the text of the tooltip the display carries during a call.
//
// Threads: GUI thread; the source reads atomics.
#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string_view>

#include "media/call_statistics.h"

class QLabel;
class QTimer;

namespace vorpel {

inline constexpr std::string_view STATISTICS_TITLE = "Call statistics";

// One "name: value" line per count.
QString describeCallStatistics(const CallStatistics& statistics);

class StatisticsDialog final : public QDialog {
public:
    StatisticsDialog(std::function<CallStatistics()> source, QWidget* parent = nullptr);

private:
    void refresh();

    std::function<CallStatistics()> source_;
    QLabel* text_ = nullptr;
    QTimer* timer_ = nullptr;
};

}  // namespace vorpel
