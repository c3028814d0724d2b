// The console's phone window: commands from an input descriptor (standard
// input), one per line, become keys, button presses, dialogs and the quit
// soft key; what the window shows goes to a ConsoleEventWriter. The dialogs
// run without questions: a "settings" or "tags" line carries the answer,
// which the dialog then applies to the form it was opened with.
//
// Threads: window thread (the event loop's), except the writer, which any
// thread may use.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/dialog_host.h"
#include "app/phone_app.h"
#include "media/call_statistics.h"
#include "platform/event_loop.h"
#include "ui/console/console_command.h"
#include "ui/console/console_event_writer.h"

namespace vorpel {

inline constexpr std::string_view ABOUT_TEXT = "Vorpel Mobile 1.16";
inline constexpr std::string_view SETTINGS_HINT =
    "vorpel-console: no valid settings stored; enter them with: "
    "settings address=HOST account=ID auth=ID password=TEXT (12 to 15 characters)\n";

class ConsoleFrontEnd final : public DialogHost {
public:
    ConsoleFrontEnd(ConsoleEventWriter& writer, EventLoop& loop, int inputFd);
    ~ConsoleFrontEnd() override;
    ConsoleFrontEnd(const ConsoleFrontEnd&) = delete;
    ConsoleFrontEnd& operator=(const ConsoleFrontEnd&) = delete;

    // Starts reading commands for app; call before the app runs its window.
    bool attach(PhoneApp& app);
    // Where the stats command reads the call's counts (none: it is ignored).
    void setCallStatistics(std::function<CallStatistics()> source) { statistics_ = std::move(source); }
    // What the device command does (none: it is refused).
    void setDeviceChooser(std::function<void(const DeviceCommand&)> chooser) {
        chooseDevice_ = std::move(chooser);
    }
    // One command line (also used by tests).
    void handleLine(std::string_view line);

    bool runSettingsDialog(SettingsForm& form) override;
    bool runTagDialog(TagForm& form) override;
    void runAboutDialog() override;
    void showMessage(std::string_view text) override { writer_.message(text); }
    void viewChanged(const PhoneWindowView& view) override { writer_.view(view); }
    void raiseWindow() override {}
    // Says on standard error how to enter the settings (the console has no
    // dialog to open by itself).
    bool settingsMissing() override;

private:
    static void onInput(void* self, unsigned readiness);
    void readInput();
    void endOfInput();

    ConsoleEventWriter& writer_;
    EventLoop& loop_;
    int inputFd_;
    PhoneApp* app_ = nullptr;
    bool watching_ = false;
    bool quitting_ = false;
    std::string pending_;
    SettingsCommand settingsAnswer_;
    TagsCommand tagsAnswer_;
    std::function<CallStatistics()> statistics_;
    std::function<void(const DeviceCommand&)> chooseDevice_;
};

}  // namespace vorpel
