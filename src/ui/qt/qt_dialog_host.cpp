#include "ui/qt/qt_dialog_host.h"

#include <QMessageBox>

#include "ui/qt/dialogs/about_dialog.h"
#include "ui/qt/dialogs/error_box.h"
#include "ui/qt/dialogs/settings_dialog.h"
#include "ui/qt/dialogs/tag_dialog.h"
#include "ui/qt/phone_dialog.h"

namespace vorpel {

namespace {

// Holds the loop's posted messages back for as long as a modal dialog runs.
class ModalScope {
public:
    explicit ModalScope(QtEventLoop& loop) : loop_(loop) { loop_.suspendMessages(true); }
    ~ModalScope() { loop_.suspendMessages(false); }
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;

private:
    QtEventLoop& loop_;
};

}  // namespace

QtDialogHost::QtDialogHost(QtEventLoop& loop, SettingsRecord& record) : loop_(loop), record_(record) {}

QWidget* QtDialogHost::parentWidget() const {
    return window_ != nullptr && window_->isVisible() ? window_ : nullptr;
}

bool QtDialogHost::runSettingsDialog(SettingsForm& form) {
    ModalScope modal(loop_);
    const QSize screen = window_ != nullptr ? window_->phoneArea()
                                            : QSize(PhoneDialog::INITIAL_WIDTH, PhoneDialog::INITIAL_HEIGHT);
    return execSettingsDialog(form, record_, screen, parentWidget());
}

bool QtDialogHost::runTagDialog(TagForm& form) {
    ModalScope modal(loop_);
    return execTagDialog(form, parentWidget());
}

void QtDialogHost::runAboutDialog() {
    ModalScope modal(loop_);
    execAboutDialog(parentWidget());
}

void QtDialogHost::showMessage(std::string_view text) {
    QMessageBox* box = makeErrorBox(parentWidget(), text).release();
    box->setAttribute(Qt::WA_DeleteOnClose);
    messages_.emplace_back(box);
    QObject::connect(box, &QDialog::finished, box, [this] {
        if (waiting_ && openMessages().empty()) loop_.quit();
    });
    box->open();
}

std::vector<QMessageBox*> QtDialogHost::openMessages() const {
    std::vector<QMessageBox*> open;
    for (const auto& box : messages_)
        if (!box.isNull() && box->isVisible()) open.push_back(box.data());
    return open;
}

void QtDialogHost::waitForMessages() {
    if (!openMessages().empty()) {
        waiting_ = true;
        loop_.run();
        waiting_ = false;
    }
    for (QMessageBox* box : openMessages()) box->close();
    messages_.clear();
}

void QtDialogHost::viewChanged(const PhoneWindowView& view) {
    if (window_ == nullptr) return;
    window_->render(view);
    if (!window_->isVisible()) window_->show();
}

void QtDialogHost::raiseWindow() {
    if (window_ == nullptr) return;
    const bool wasActive = window_->isActiveWindow();
    bringWindowToFront();
    if (!wasActive) {
        notifier_.notify(QStringLiteral("Vorpel"), QStringLiteral("Ringing"));
        ++notifications_;
    }
}

void QtDialogHost::bringWindowToFront() {
    if (window_ == nullptr) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

}  // namespace vorpel
