// The phone window on the desktop: the display list, the twelve push
// buttons, the seven lamps and the twelve keypad buttons laid out over the
// phone area (phone_layout.h), and below it the soft-key bar with "Ok" (ends
// the program) and "Options" (a menu of About, Settings, Call statistics and,
// once enabled, Sound devices).
// While a call runs the display's tooltip shows the call's counts.
//
// It draws what the shell's PhoneWindowView says (render) and hands every
// key, button and soft key to the PhoneApp. Every key press that reaches the
// window or any of its controls is taken here first: the keypad keys, the
// arrows and Enter go to the phone window's logic, every other key (Escape
// among them) is swallowed.
//
// Threads: GUI thread only.
#pragma once

#include <QWidget>
#include <array>
#include <functional>
#include <string>

#include "app/phone_app.h"
#include "phone/phone_window.h"
#include "platform/sound_device_choice.h"
#include "ui/qt/dialogs/sound_device_dialog.h"
#include "ui/qt/dialogs/statistics_dialog.h"
#include "ui/qt/indicator_lamp.h"
#include "ui/qt/phone_layout.h"

class QListWidget;
class QMenu;
class QPushButton;

namespace vorpel {

class PhoneDialog final : public QWidget {
public:
    // The phone area the window opens with: a handheld's screen.
    static constexpr int INITIAL_WIDTH = 240;
    static constexpr int INITIAL_HEIGHT = 320;
    static constexpr int SOFT_KEY_BAR_HEIGHT = 28;
    // Below this phone area the keys' captions no longer fit.
    static constexpr int MINIMUM_WIDTH = 210;
    static constexpr int MINIMUM_HEIGHT = 280;
    // The screen density the sizes above are meant for.
    static constexpr int REFERENCE_DPI = 96;
    // The control id of the display list.
    static constexpr int DISPLAY_LIST_ID = 1001;

    explicit PhoneDialog(PhoneApp& app, QWidget* parent = nullptr);

    // Shows the view: lines, enabling, lamps, focus and title.
    void render(const PhoneWindowView& view);

    // Where the statistics dialog and the display's tooltip read the call's
    // counts, and whether a call runs; without them both stay away.
    void setCallStatistics(std::function<CallStatistics()> source, std::function<bool()> callRunning);

    // Adds "Sound devices…" to the Options menu: PortAudio's devices, the
    // choice kept in the sound-device file of applicationName and handed to
    // use (which puts it in force from the next call).
    void enableSoundDevices(std::string applicationName, std::function<void(const SoundDeviceChoice&)> use);

    // The window's size when it opens on a screen of this many logical dots per inch.
    static QSize initialSize(int logicalDpi);

    // The phone area W x H that the layout is made from: it keeps the
    // INITIAL_WIDTH x INITIAL_HEIGHT shape whatever the window's.
    QSize phoneArea() const;

    QListWidget* displayList() const { return display_; }
    QPushButton* button(PhoneButton which) const { return buttons_[static_cast<size_t>(which)]; }
    IndicatorLamp* lamp(size_t column) const { return lamps_[column]; }
    QPushButton* keypadButton(size_t index) const { return keypad_[index]; }
    QPushButton* okSoftKey() const { return ok_; }
    QPushButton* optionsSoftKey() const { return options_; }
    QMenu* optionsMenu() const { return menu_; }
    StatisticsDialog* statisticsDialog() const { return statistics_; }
    SoundDeviceDialog* soundDeviceDialog() const { return soundDevices_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool handleKey(QEvent* event);
    QRect phoneRect() const;
    void relayout();
    void fitDisplayFont();
    void showStatistics();
    void showSoundDevices();
    void refreshToolTip();

    PhoneApp& app_;
    QListWidget* display_ = nullptr;
    std::array<QPushButton*, PHONE_BUTTON_COUNT> buttons_{};
    std::array<IndicatorLamp*, LAMP_COUNT> lamps_{};
    std::array<QPushButton*, KEYPAD_KEY_COUNT> keypad_{};
    QWidget* softKeyBar_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* options_ = nullptr;
    QMenu* menu_ = nullptr;
    StatisticsDialog* statistics_ = nullptr;
    std::function<CallStatistics()> statisticsSource_;
    std::function<bool()> callRunning_;
    std::string soundApplication_;
    std::function<void(const SoundDeviceChoice&)> useSoundDevices_;
    SoundDeviceDialog* soundDevices_ = nullptr;
    std::optional<PhoneButton> focus_;
    bool rendered_ = false;
    PhoneWindowView shown_;
};

}  // namespace vorpel
