// What the shell asks of a front end: the dialogs, message boxes, and
// drawing the phone window's view. The console and the Qt front ends
// implement it.
//
// Threads: window thread only. The dialogs are modal: they return when the
// user has closed them. The shell holds no lock while one runs.
#pragma once

#include <string_view>

#include "phone/phone_window.h"
#include "phone/settings_form.h"
#include "phone/tag_form.h"

namespace vorpel {

class DialogHost {
public:
    virtual ~DialogHost() = default;
    // The settings dialog over a form loaded from the record; true when the
    // user accepted (the form then holds the values to store).
    virtual bool runSettingsDialog(SettingsForm& form) = 0;
    virtual bool runTagDialog(TagForm& form) = 0;
    virtual void runAboutDialog() = 0;
    // A message box with an error icon and one OK button.
    virtual void showMessage(std::string_view text) = 0;
    // The phone window's view may have changed: draw it.
    virtual void viewChanged(const PhoneWindowView& view) = 0;
    // Brings the phone window to the foreground.
    virtual void raiseWindow() = 0;
    // The first tick after start-up found no valid settings (an empty store,
    // or one that fails validation). Tells the user how to enter them; true
    // asks the shell to open the settings dialog now.
    virtual bool settingsMissing() { return false; }
};

}  // namespace vorpel
