// What the terminal's core (the transport and the engine's ports) asks of the
// phone window: whether it exists, its title, its cancel, a message box, and
// bringing it to the front. The shell's PhoneApp implements it.
//
// Threads: window thread, under the engine lock (the caller holds it).
#pragma once

#include <string_view>

namespace vorpel {

class WindowServices {
public:
    virtual ~WindowServices() = default;
    // True from the end of the phone window's initialisation until it is destroyed.
    virtual bool phoneWindowExists() const = 0;
    virtual void setWindowTitle(std::string_view title) = 0;
    virtual void showMessage(std::string_view text) = 0;
    // Ends the phone window without a logoff of its own; the program then shuts down.
    virtual void cancelWindow() = 0;
    virtual void raisePhoneWindow() = 0;
};

}  // namespace vorpel
