#include "ui/qt/phone_dialog.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "platform/portaudio_wave_device.h"
#include "platform/sound_device_choice.h"
#include "ui/qt/qt_key_map.h"

namespace vorpel {

namespace {

QString latin1(const char* text, size_t size) {
    return QString::fromLatin1(text, static_cast<qsizetype>(size));
}

// Each display byte widened to the character of that code, trailing spaces kept.
QString lineString(const DisplayLine& line) {
    return latin1(reinterpret_cast<const char*>(line.data()), line.size());
}

}  // namespace

PhoneDialog::PhoneDialog(PhoneApp& app, QWidget* parent) : QWidget(parent), app_(app) {
    // Controls in the order the window creates them: the list, the twelve
    // buttons, the lamps; then the keypad and the soft keys.
    display_ = new QListWidget(this);
    display_->setObjectName(QStringLiteral("display%1").arg(DISPLAY_LIST_ID));
    display_->setSelectionMode(QAbstractItemView::NoSelection);
    display_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    display_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The list only shows: the keyboard focus rests on the window itself
    // until the arrows give it to a key, so no line is ever marked current.
    display_->setFocusPolicy(Qt::NoFocus);
    display_->installEventFilter(this);

    for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i) {
        const ButtonInfo& info = BUTTONS[i];
        auto* button = new QPushButton(latin1(info.caption.data(), info.caption.size()), this);
        button->setObjectName(QStringLiteral("button%1").arg(info.controlId));
        button->setFocusPolicy(Qt::NoFocus);  // the arrows move the focus, not Tab or a click
        button->installEventFilter(this);
        const auto which = static_cast<PhoneButton>(i);
        connect(button, &QPushButton::clicked, this, [this, which] { app_.press(which); });
        buttons_[i] = button;
    }
    for (size_t column = 0; column < LAMP_COUNT; ++column) {
        lamps_[column] = new IndicatorLamp(this);
        lamps_[column]->setObjectName(QStringLiteral("lamp%1").arg(LAMP_IDS[column]));
        lamps_[column]->installEventFilter(this);
    }
    for (size_t i = 0; i < KEYPAD_KEY_COUNT; ++i) {
        const KeypadKey key = KEYPAD_KEYS[i];
        auto* button = new QPushButton(QString(QChar::fromLatin1(key.key)), this);
        button->setObjectName(QStringLiteral("button%1").arg(key.controlId));
        button->setFocusPolicy(Qt::NoFocus);
        button->installEventFilter(this);
        const uint8_t virtualKey = keypadVirtualKey(key.key).value_or(0);
        connect(button, &QPushButton::clicked, this, [this, virtualKey] { app_.keyDown(virtualKey); });
        keypad_[i] = button;
    }

    softKeyBar_ = new QWidget(this);
    ok_ = new QPushButton(QStringLiteral("Ok"), softKeyBar_);
    options_ = new QPushButton(QStringLiteral("Options"), softKeyBar_);
    menu_ = new QMenu(options_);
    connect(menu_->addAction(QStringLiteral("About")), &QAction::triggered, this,
            [this] { app_.command(IDM_ABOUT); });
    connect(menu_->addAction(QStringLiteral("Settings")), &QAction::triggered, this,
            [this] { app_.command(IDM_SETTINGS); });
    connect(menu_->addAction(QString::fromLatin1(STATISTICS_TITLE.data())), &QAction::triggered, this,
            [this] { showStatistics(); });
    auto* toolTipTimer = new QTimer(this);
    connect(toolTipTimer, &QTimer::timeout, this, [this] { refreshToolTip(); });
    toolTipTimer->start(1000);
    options_->setMenu(menu_);
    for (QPushButton* softKey : {ok_, options_}) {
        softKey->setFocusPolicy(Qt::NoFocus);
        softKey->installEventFilter(this);
    }
    connect(ok_, &QPushButton::clicked, this, [this] { app_.accept(); });

    setWindowTitle(latin1(PHONE_WINDOW_TITLE.data(), PHONE_WINDOW_TITLE.size()));
    setMinimumSize(MINIMUM_WIDTH, MINIMUM_HEIGHT + SOFT_KEY_BAR_HEIGHT);
    resize(initialSize(logicalDpiY()));
    relayout();
    setFocusPolicy(Qt::StrongFocus);
    setFocus();
}

QSize PhoneDialog::initialSize(int logicalDpi) {
    // A handheld's screen at 96 dpi, grown with the desktop's scale, never shrunk.
    const int dpi = std::max(logicalDpi, REFERENCE_DPI);
    return {INITIAL_WIDTH * dpi / REFERENCE_DPI,
            (INITIAL_HEIGHT + SOFT_KEY_BAR_HEIGHT) * dpi / REFERENCE_DPI};
}

QRect PhoneDialog::phoneRect() const {
    // The phone keeps the handheld's shape: the largest such area above the
    // soft-key bar, centred in what is left over.
    const int availableWidth = width();
    const int availableHeight = std::max(0, height() - SOFT_KEY_BAR_HEIGHT);
    const int w = std::min(availableWidth, availableHeight * INITIAL_WIDTH / INITIAL_HEIGHT);
    const int h = w * INITIAL_HEIGHT / INITIAL_WIDTH;
    return {(availableWidth - w) / 2, (availableHeight - h) / 2, w, h};
}

QSize PhoneDialog::phoneArea() const { return phoneRect().size(); }

void PhoneDialog::relayout() {
    const QRect area = phoneRect();
    const PhoneLayout layout = phoneLayout(area.width(), area.height());
    const QPoint origin = area.topLeft();
    display_->setGeometry(layout.display.translated(origin));
    for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i)
        buttons_[i]->setGeometry(layout.buttons[i].translated(origin));
    for (size_t i = 0; i < LAMP_COUNT; ++i) lamps_[i]->setGeometry(layout.lamps[i].translated(origin));
    for (size_t i = 0; i < KEYPAD_KEY_COUNT; ++i)
        keypad_[i]->setGeometry(layout.keypad[i].translated(origin));
    softKeyBar_->setGeometry(0, height() - SOFT_KEY_BAR_HEIGHT, width(), SOFT_KEY_BAR_HEIGHT);
    const int half = width() / 2;
    ok_->setGeometry(0, 0, half - 1, SOFT_KEY_BAR_HEIGHT - 1);
    options_->setGeometry(half, 0, width() - half, SOFT_KEY_BAR_HEIGHT - 1);
    fitDisplayFont();
}

void PhoneDialog::fitDisplayFont() {
    // The largest fixed-pitch size at which a whole 25-character row fits the
    // list's width and the three rows its height, with room for the items' margins.
    constexpr int ITEM_MARGINS = 8;
    const int width = display_->width() - 2 * display_->frameWidth() - ITEM_MARGINS;
    const int height = display_->height() - 2 * display_->frameWidth() - ITEM_MARGINS;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QString row(static_cast<qsizetype>(DISPLAY_LINE_CHARS), QLatin1Char('W'));
    for (int pixels = 32; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(row) <= width &&
            metrics.lineSpacing() * static_cast<int>(SHOWN_LINE_COUNT) <= height)
            break;
    }
    display_->setFont(font);
}

void PhoneDialog::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void PhoneDialog::render(const PhoneWindowView& view) {
    if (rendered_ && view == shown_) return;
    if (!view.displayShown) {
        display_->clear();
    } else {
        if (display_->count() != static_cast<int>(SHOWN_LINE_COUNT)) {
            display_->clear();
            for (size_t i = 0; i < SHOWN_LINE_COUNT; ++i) display_->addItem(QString());
        }
        for (size_t i = 0; i < SHOWN_LINE_COUNT; ++i)
            display_->item(static_cast<int>(i))->setText(lineString(view.lines[i]));
    }
    for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i) buttons_[i]->setEnabled(view.enabled[i]);
    for (size_t i = 0; i < LAMP_COUNT; ++i) lamps_[i]->setEnabled(view.lit[i]);
    // The focused button is marked as the default button (a heavier frame),
    // which also shows a focused button that is disabled; an enabled one also
    // takes the keyboard focus.
    if (focus_ != view.focus) {
        if (focus_) button(*focus_)->setDefault(false);
        if (view.focus) button(*view.focus)->setDefault(true);
        focus_ = view.focus;
    }
    if (view.focus && button(*view.focus)->isEnabled()) button(*view.focus)->setFocus();
    setWindowTitle(latin1(view.title.data(), view.title.size()));
    shown_ = view;
    rendered_ = true;
}

bool PhoneDialog::handleKey(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyRelease) return true;
    if (type != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (const auto virtualKey = virtualKeyOf(key->key())) app_.keyDown(*virtualKey);
    return true;  // every other key, Escape among them, is swallowed
}

bool PhoneDialog::eventFilter(QObject* watched, QEvent* event) {
    if (handleKey(event)) return true;
    return QWidget::eventFilter(watched, event);
}

void PhoneDialog::keyPressEvent(QKeyEvent* event) { handleKey(event); }

void PhoneDialog::closeEvent(QCloseEvent* event) {
    // The platform's close request: the shell ends the window's run and
    // takes the program down in order; the window goes with it.
    event->ignore();
    app_.closeWindow();
}

void PhoneDialog::setCallStatistics(std::function<CallStatistics()> source,
                                    std::function<bool()> callRunning) {
    statisticsSource_ = std::move(source);
    callRunning_ = std::move(callRunning);
}

void PhoneDialog::showStatistics() {
    if (!statisticsSource_) return;
    // Not modal: it follows the call while the phone stays in use.
    if (statistics_ == nullptr) statistics_ = new StatisticsDialog(statisticsSource_, this);
    statistics_->show();
    statistics_->raise();
    statistics_->activateWindow();
}

void PhoneDialog::enableSoundDevices(std::string applicationName,
                                     std::function<void(const SoundDeviceChoice&)> use) {
    soundApplication_ = std::move(applicationName);
    useSoundDevices_ = std::move(use);
    connect(menu_->addAction(QStringLiteral("%1\u2026").arg(QLatin1String(SOUND_DEVICES_TITLE))),
            &QAction::triggered, this, [this] { showSoundDevices(); });
}

void PhoneDialog::showSoundDevices() {
    if (soundDevices_ != nullptr) {
        soundDevices_->raise();
        soundDevices_->activateWindow();
        return;
    }
    const SoundDeviceList listed = listSoundDevices();
    const SoundDeviceFile file(soundApplication_);
    const SoundDeviceChoice stored = file.read();
    SoundDeviceDialog::Devices devices{
        listed.capture, listed.playback,
        [](const std::string& name) { return std::make_unique<PortAudioCaptureDevice>(name); },
        [](const std::string& name) { return std::make_unique<PortAudioPlaybackDevice>(name); }};
    // Window-modal and without a loop of its own: the phone runs on meanwhile.
    soundDevices_ = new SoundDeviceDialog(std::move(devices), stored.capture, stored.playback, this);
    soundDevices_->setAttribute(Qt::WA_DeleteOnClose);
    connect(soundDevices_, &QDialog::accepted, this, [this, file] {
        const SoundDeviceChoice choice{soundDevices_->capture(), soundDevices_->playback()};
        file.write(choice);
        if (useSoundDevices_) useSoundDevices_(choice);
    });
    connect(soundDevices_, &QObject::destroyed, this, [this] { soundDevices_ = nullptr; });
    soundDevices_->open();
}

void PhoneDialog::refreshToolTip() {
    const bool running = statisticsSource_ && callRunning_ && callRunning_();
    display_->setToolTip(running ? describeCallStatistics(statisticsSource_()) : QString());
}

}  // namespace vorpel
