// The shell's dialogs and message boxes on the desktop, and the drawing of
// the phone window's view.
//
// The dialogs run modally (a nested Qt loop) while the shell holds the tick;
// posted messages stay queued meanwhile, so that a tick message posted just
// before the dialog opened is handled after it, never in the middle of the
// engine restart. Message boxes do not block: the transport reports a socket
// fault while it holds the engine lock, and a nested loop there would take
// the next socket notification into that lock again. The program waits for
// the open boxes before it ends.
//
// Raising the window (a melody starts: the terminal rings) also sends a
// desktop notification when the window is not the active one; the display
// then still shows what it showed before the ring, so the text is fixed. A
// second start of the program only brings the window forward: nothing rings.
//
// Threads: GUI thread only.
#pragma once

#include <QPointer>
#include <vector>

#include "app/dialog_host.h"
#include "settings/settings_record.h"
#include "ui/qt/dialogs/desktop_notifier.h"
#include "ui/qt/qt_event_loop.h"

class QMessageBox;

namespace vorpel {

class PhoneDialog;

class QtDialogHost final : public DialogHost {
public:
    // record: the terminal's settings record (the settings dialog's slot
    // buttons write its account slots).
    QtDialogHost(QtEventLoop& loop, SettingsRecord& record);

    // The window the view is drawn on; it is shown on the first view.
    void attachWindow(PhoneDialog* window) { window_ = window; }

    bool runSettingsDialog(SettingsForm& form) override;
    bool runTagDialog(TagForm& form) override;
    void runAboutDialog() override;
    void showMessage(std::string_view text) override;
    void viewChanged(const PhoneWindowView& view) override;
    // A melody starts: the window comes to the front, with a notification
    // when it was not the active one.
    void raiseWindow() override;
    // Opens the settings dialog by itself when switched on (the program does;
    // tests that drive the window through the menu leave it off).
    bool settingsMissing() override { return openSettingsWhenMissing_; }
    void openSettingsWhenMissing(bool on) { openSettingsWhenMissing_ = on; }
    // The window comes to the front, and nothing more (a second start of
    // the program asks for this).
    void bringWindowToFront();

    // The message boxes still open.
    std::vector<QMessageBox*> openMessages() const;
    // Runs the loop until every message box has been closed, or until a
    // close request (the loop's quit) ends the wait; boxes still open then close.
    void waitForMessages();
    // How many notifications raiseWindow has sent (for tests and diagnostics).
    int notificationsSent() const { return notifications_; }

private:
    QWidget* parentWidget() const;

    QtEventLoop& loop_;
    SettingsRecord& record_;
    PhoneDialog* window_ = nullptr;
    std::vector<QPointer<QMessageBox>> messages_;
    DesktopNotifier notifier_;
    int notifications_ = 0;
    bool waiting_ = false;
    bool openSettingsWhenMissing_ = false;
};

}  // namespace vorpel
