// The phone window's widgets on the real shell and engine: start-up,
// display lines, focus and the action key, keyboard and keypad codes,
// lamps, layout, soft keys and the title.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "ui/qt/dialogs/settings_dialog.h"

#include "window_fixture.h"

namespace vorpel::test {
namespace {

constexpr uint8_t LOGOFF = 0x01;

class PhoneDialogTest : public WindowFixture {
protected:
    // A key typed at whatever control of the window has the focus.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr || target->window() != &window) target = &window;
        QTest::keyClick(target, key, modifiers);
        acknowledge();
    }
    void click(QAbstractButton* button) {
        button->click();
        acknowledge();
    }
    bool allButtons(bool enabled) const {
        for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i)
            if (window.button(static_cast<PhoneButton>(i))->isEnabled() != enabled) return false;
        return true;
    }
    bool allLamps(bool lit) const {
        for (size_t i = 0; i < LAMP_COUNT; ++i)
            if (window.lamp(i)->isEnabled() != lit) return false;
        return true;
    }
    static QColor centreColour(QWidget* widget) {
        const QImage image = widget->grab().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    }
    // The button that shows the focus (there is exactly one while any has it).
    std::optional<PhoneButton> markedButton() const {
        std::optional<PhoneButton> marked;
        for (size_t i = 0; i < PHONE_BUTTON_COUNT; ++i) {
            if (!window.button(static_cast<PhoneButton>(i))->isDefault()) continue;
            EXPECT_FALSE(marked.has_value()) << "two buttons show the focus";
            marked = static_cast<PhoneButton>(i);
        }
        return marked;
    }
    size_t logoffs() const {
        return static_cast<size_t>(
            std::count_if(ports.frames.begin(), ports.frames.end(),
                          [](const Bytes& f) { return f.size() == 3 && f[0] == LOGOFF; }));
    }
    // Runs the program with a stored account; script starts Connected and
    // idle, the first refresh done: function keys and "Yes" enabled.
    ExitStatus runConnected(const std::function<void()>& script) {
        provision();
        return run([this, script] {
            connect();
            tick();
            script();
        });
    }
    std::string lineText(unsigned line) {
        const MutexLock lock(engineLock);
        const auto text = engine.lineText(line);
        return std::string(text.begin(), text.end());
    }
};

TEST_F(PhoneDialogTest, StartsWithEveryControlEnabledAndEveryLampLitUntilTheFirstTick) {
    run([this] {
        EXPECT_TRUE(window.isVisible());
        EXPECT_EQ(window.windowTitle(), "Vorpel1.16            ");
        EXPECT_TRUE(allButtons(true));
        EXPECT_TRUE(allLamps(true));
        EXPECT_EQ(centreColour(window.lamp(0)), QColor(255, 0, 0));
        EXPECT_EQ(window.displayList()->count(), 0);  // nothing shown before the first tick
        tick();
        EXPECT_TRUE(allButtons(false));
        EXPECT_TRUE(allLamps(false));
        EXPECT_EQ(centreColour(window.lamp(6)), QColor(128, 128, 128));
        EXPECT_EQ(window.displayList()->count(), 3);
    });
}

TEST_F(PhoneDialogTest, ShowsLinesZeroSixAndSevenWhileTheSettingsAreInvalid) {
    run([this] {
        tick();  // nothing stored: the address is invalid
        ASSERT_EQ(engine.state().regState, RegState::SettingsInvalid);
        const std::vector<std::string> expected{lineText(0), lineText(6), lineText(7)};
        EXPECT_EQ(shownLines(), expected);
        EXPECT_EQ(shownLines()[1], "Velmarch IP address      ");
        EXPECT_EQ(shownLines()[2].substr(0, 8), "invalid!");
        EXPECT_EQ(shownLines()[2].size(), 25u);  // trailing spaces kept
    });
}

TEST_F(PhoneDialogTest, ShowsLinesZeroOneAndSixOutsideSettingsInvalid) {
    runConnected([this] {
        serverFrame({displayRow(0, "Line zero of row zero....Line one of row zero"),
                     displayRow(1, "never shown: lines 2 and 3"),
                     displayRow(3, "Line six.................Line seven")});
        tick();
        const std::vector<std::string> expected{"Line zero of row zero....", "Line one of row zero     ",
                                                "Line six................."};
        EXPECT_EQ(shownLines(), expected);
    });
}

TEST_F(PhoneDialogTest, ArrowsMoveTheFocusBetweenTheRowsAndWrapOverTheFunctionKeys) {
    runConnected([this] {
        EXPECT_EQ(markedButton(), PhoneButton::Yes);
        EXPECT_TRUE(window.button(PhoneButton::Yes)->hasFocus());
        type(Qt::Key_Up);  // row 0: up and down do nothing
        type(Qt::Key_Down);
        EXPECT_EQ(markedButton(), PhoneButton::Yes);
        type(Qt::Key_Right);
        EXPECT_EQ(markedButton(), PhoneButton::Esc);
        type(Qt::Key_Up);  // from index 0 up to 9
        EXPECT_EQ(markedButton(), PhoneButton::Cnf);
        type(Qt::Key_Down);  // from 9 down to 0
        EXPECT_EQ(markedButton(), PhoneButton::Esc);
        type(Qt::Key_Down);
        type(Qt::Key_Down);
        type(Qt::Key_Down);
        EXPECT_EQ(markedButton(), PhoneButton::Right);
        EXPECT_TRUE(window.button(PhoneButton::Right)->hasFocus());
        type(Qt::Key_Left);  // back to the hook keys: "No" is disabled, so "Yes"
        EXPECT_EQ(markedButton(), PhoneButton::Yes);
        type(Qt::Key_Left);  // the row toggles and keeps its index
        EXPECT_EQ(markedButton(), PhoneButton::Right);
    });
}

TEST_F(PhoneDialogTest, EnterPressesTheFocusedButton) {
    runConnected([this] {
        type(Qt::Key_Right);  // "Esc"
        type(Qt::Key_Return);
        type(Qt::Key_Down);  // "<"
        type(Qt::Key_Enter, Qt::KeypadModifier);
        EXPECT_EQ(keyCodesSent(), (std::vector<uint16_t>{0xFD7F, 0xFDBF}));
        type(Qt::Key_Right);  // back to "Yes": the hook key starts voice
        type(Qt::Key_Return);
        EXPECT_EQ(engine.audioMode(), AudioMode::Voice);
        tick();
        EXPECT_FALSE(window.button(PhoneButton::Yes)->isEnabled());
        EXPECT_TRUE(window.button(PhoneButton::No)->isEnabled());
        EXPECT_EQ(markedButton(), PhoneButton::No);
        type(Qt::Key_Return);  // "No" releases it
        EXPECT_EQ(engine.audioMode(), AudioMode::Idle);
        tick();
        EXPECT_EQ(markedButton(), PhoneButton::Yes);
    });
}

TEST_F(PhoneDialogTest, KeysKeypadAndFunctionButtonsSendTheirCodesAndOtherKeysAreSwallowed) {
    runConnected([this] {
        const std::vector<uint16_t> keypadOrder{0xFBF7, 0xFB7F, 0xF7FB, 0xFBFB, 0xFBBF, 0xF7F7,
                                                0xFBFD, 0xFBDF, 0xF7FD, 0xFBFE, 0xFBEF, 0xF7FE};
        const Qt::Key typed[] = {Qt::Key_1, Qt::Key_2,        Qt::Key_3, Qt::Key_4,
                                 Qt::Key_5, Qt::Key_6,        Qt::Key_7, Qt::Key_8,
                                 Qt::Key_9, Qt::Key_Asterisk, Qt::Key_0, Qt::Key_NumberSign};
        for (Qt::Key key : typed) type(key);
        EXPECT_EQ(keyCodesSent(), keypadOrder);
        ports.frames.clear();
        for (Qt::Key key : typed) type(key, Qt::KeypadModifier);
        EXPECT_EQ(keyCodesSent(), keypadOrder);
        ports.frames.clear();
        for (size_t i = 0; i < KEYPAD_KEY_COUNT; ++i) click(window.keypadButton(i));
        EXPECT_EQ(keyCodesSent(), keypadOrder);
        EXPECT_EQ(window.keypadButton(0)->objectName(), "button1007");
        EXPECT_EQ(window.keypadButton(11)->objectName(), "button1018");
        ports.frames.clear();
        for (PhoneButton b :
             {PhoneButton::Esc, PhoneButton::Left, PhoneButton::Ok, PhoneButton::Right, PhoneButton::Del,
              PhoneButton::Rec, PhoneButton::Mut, PhoneButton::Tra, PhoneButton::Fla, PhoneButton::Cnf})
            click(window.button(b));
        EXPECT_EQ(keyCodesSent(), (std::vector<uint16_t>{0xFD7F, 0xFDBF, 0xFDDF, 0xFDEF, 0xFDF7, 0x7FDF,
                                                         0xFEBF, 0xF7BF, 0xF77F, 0x7FFD}));
        ports.frames.clear();
        type(Qt::Key_Escape);  // the back key: swallowed, the window stays
        type(Qt::Key_A);
        type(Qt::Key_Tab);
        type(Qt::Key_Space);  // would press a focused push button
        EXPECT_TRUE(ports.frames.empty());
        EXPECT_TRUE(app.phoneWindowExists());
        EXPECT_EQ(markedButton(), PhoneButton::Yes);
    });
}

TEST_F(PhoneDialogTest, LampsFollowTheIndicatorsAndBlinkWithPeriodsOfFourAndSixteenTicks) {
    runConnected([this] {
        EXPECT_TRUE(allLamps(false));
        // 24 fast on lamp column 0, 0 slow on column 3, 9 steady on column 1.
        serverFrame({indicators({{24, 1}, {0, 2}, {9, 3}})});
        tick(16);  // past one whole slow period
        for (int i = 0; i < 32; ++i) {
            tick();
            const uint32_t t = app.rawTickCount();
            EXPECT_EQ(window.lamp(0)->isEnabled(), t % 4 == 1 || t % 4 == 2) << "tick " << t;
            EXPECT_EQ(window.lamp(3)->isEnabled(), t % 16 >= 7 && t % 16 <= 14) << "tick " << t;
            EXPECT_TRUE(window.lamp(1)->isEnabled());
        }
        serverFrame({indicators({{24, 0}, {9, 0}})});
        tick();
        EXPECT_FALSE(window.lamp(0)->isEnabled());
        EXPECT_FALSE(window.lamp(1)->isEnabled());
        // The group lamp: 23 lights it; 7 to 3 and 23 to 0 on one tick darken it (the last one wins).
        serverFrame({indicators({{23, 3}})});
        tick();
        EXPECT_TRUE(window.lamp(5)->isEnabled());
        EXPECT_EQ(centreColour(window.lamp(5)), QColor(255, 0, 0));
        serverFrame({indicators({{7, 3}, {23, 0}})});
        tick();
        EXPECT_FALSE(window.lamp(5)->isEnabled());
        EXPECT_EQ(centreColour(window.lamp(5)), QColor(128, 128, 128));
    });
}

// x, y, width, height of each control for a phone area of w x h.
void expectTable(const PhoneDialog& window, int w, int h) {
    const int k = w / 7;
    const auto rect = [](const QWidget* widget) { return widget->geometry(); };
    EXPECT_EQ(window.phoneArea(), QSize(w, h));
    EXPECT_EQ(rect(window.displayList()), QRect(0, 0, w - 1, h / 2 - 1));
    EXPECT_EQ(rect(window.button(PhoneButton::Yes)), QRect(0, h / 2, k - 1, h / 6 - 1));
    EXPECT_EQ(rect(window.button(PhoneButton::No)), QRect(6 * k, h / 2, k - 1, h / 6 - 1));
    const PhoneButton upper[] = {PhoneButton::Esc, PhoneButton::Left, PhoneButton::Ok, PhoneButton::Right,
                                 PhoneButton::Del};
    const PhoneButton lower[] = {PhoneButton::Rec, PhoneButton::Mut, PhoneButton::Tra, PhoneButton::Fla,
                                 PhoneButton::Cnf};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rect(window.button(upper[i])), QRect((i + 1) * k, h / 2, k - 1, h / 12 - 1)) << i;
        EXPECT_EQ(rect(window.button(lower[i])), QRect((i + 1) * k, h / 2 + h / 12, k - 1, h / 12 - 1)) << i;
    }
    for (size_t c = 0; c < LAMP_COUNT; ++c)
        EXPECT_EQ(rect(window.lamp(c)), QRect(static_cast<int>(c) * k, h / 2 + h / 6, k - 1, h / 24 - 1))
            << c;
    // The keypad fills the empty part below the lamps, inside the phone area,
    // without overlapping itself.
    const int free = h / 2 + h / 6 + h / 24;
    for (size_t i = 0; i < KEYPAD_KEY_COUNT; ++i) {
        const QRect key = rect(window.keypadButton(i));
        EXPECT_GE(key.top(), free) << i;
        EXPECT_LE(key.bottom(), h - 1) << i;
        EXPECT_GE(key.left(), 0);
        EXPECT_LE(key.right(), w - 1);
        EXPECT_GT(key.height(), 0);
        for (size_t j = 0; j < i; ++j)
            EXPECT_FALSE(key.intersects(rect(window.keypadButton(j)))) << i << " " << j;
    }
    // A whole display row fits the list in a fixed-pitch font.
    // (fontconfig does not flag every monospaced family as fixed pitch, so the
    // widths are compared instead).
    const QFontMetrics metrics(window.displayList()->font());
    EXPECT_EQ(metrics.horizontalAdvance(QString(25, 'i')), metrics.horizontalAdvance(QString(25, 'W')));
    EXPECT_LE(metrics.horizontalAdvance(QString(25, 'W')), window.displayList()->viewport()->width());
    // The soft keys sit below the phone area.
    EXPECT_GE(window.okSoftKey()->mapTo(&window, QPoint(0, 0)).y(), h);
    EXPECT_GE(window.optionsSoftKey()->mapTo(&window, QPoint(0, 0)).y(), h);
}

TEST_F(PhoneDialogTest, LaysTheControlsOutByTheTableAndAgainAfterAResize) {
    run([this] {
        expectTable(window, 240, 320);
        EXPECT_EQ(window.displayList()->geometry(), QRect(0, 0, 239, 159));
        EXPECT_EQ(window.button(PhoneButton::Rec)->geometry(), QRect(34, 186, 33, 25));
        EXPECT_EQ(window.lamp(6)->geometry(), QRect(204, 213, 33, 12));
        window.resize(300, 500 + PhoneDialog::SOFT_KEY_BAR_HEIGHT);
        ASSERT_TRUE(QTest::qWaitFor([this] { return window.phoneArea() == QSize(300, 500); }));
        expectTable(window, 300, 500);
        EXPECT_EQ(window.button(PhoneButton::No)->geometry(), QRect(252, 250, 41, 82));
    });
}

TEST_F(PhoneDialogTest, OptionsMenuHoldsAboutSettingsAndStatisticsAndOkEndsTheProgramWithALogoff) {
    provision();
    QTimer::singleShot(0, &window, [this] {
        connect();
        tick();
        EXPECT_EQ(window.optionsSoftKey()->text(), "Options");
        EXPECT_EQ(window.optionsSoftKey()->menu(), window.optionsMenu());
        QStringList items;
        for (QAction* action : window.optionsMenu()->actions()) items << action->text();
        EXPECT_EQ(items, (QStringList{"About", "Settings", "Call statistics"}));
        EXPECT_EQ(window.okSoftKey()->text(), "Ok");
        window.okSoftKey()->click();
        EXPECT_EQ(logoffs(), 1u);  // the accept; the window's end sends the second
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
    EXPECT_EQ(logoffs(), 2u);
    EXPECT_FALSE(app.phoneWindowExists());
}

TEST_F(PhoneDialogTest, ClosingTheWindowEndsTheProgramInOrderWithoutALogoffOfItsOwn) {
    provision();
    QTimer::singleShot(0, &window, [this] {
        connect();
        tick();
        window.close();
    });
    EXPECT_EQ(app.runTerminal(), ExitStatus::Orderly);
    EXPECT_EQ(logoffs(), 1u);    // only the window's end
    EXPECT_EQ(store.writes, 1);  // the settings saved at the orderly exit
}

TEST_F(PhoneDialogTest, AFirstStartWithNothingStoredOpensTheSettingsDialogByItself) {
    host.openSettingsWhenMissing(true);  // as the program does
    run([this] {
        bool dialogSeen = false;
        QTimer watcher;  // runs inside the dialog's own loop once it is open
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* dialog = dynamic_cast<CDSett*>(QApplication::activeModalWidget())) {
                dialogSeen = true;
                dialog->reject();
            }
        });
        watcher.start(0);
        tick();  // the first tick finds the settings invalid
        watcher.stop();
        EXPECT_TRUE(dialogSeen);
        EXPECT_EQ(engine.state().regState, RegState::Validate);  // the cancel restarted the engine
    });
}

TEST_F(PhoneDialogTest, SettingsFromTheOptionsMenuRestartTheEngineWithTheAcceptedAccount) {
    run([this] {
        tick();
        ASSERT_EQ(engine.state().regState, RegState::SettingsInvalid);
        const int ensureCallsBefore = services.ensureCalls;
        bool dialogSeen = false;
        timer.fire();  // its tick message is posted, not yet handled
        QTimer::singleShot(0, &window, [&] {
            auto* dialog = dynamic_cast<CDSett*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialogSeen = true;
            // The tick message posted just before the dialog opened waits for its end.
            EXPECT_EQ(services.ensureCalls, ensureCallsBefore);
            SettingsForm form = dialog->readForm();
            form.address = u"127.0.0.1";
            form.account = u"4711";
            form.auth = u"auth-4711";
            form.password = u"twelve-chars";
            dialog->writeForm(form);
            saveScreenshot(*dialog, "settings_dialog");
            dialog->accept();
        });
        window.optionsMenu()->actions().at(1)->trigger();
        EXPECT_TRUE(dialogSeen);
        EXPECT_EQ(store.writes, 1);                              // accepted settings are stored at once
        EXPECT_EQ(engine.state().regState, RegState::Validate);  // restarted
        settle();                                                // the held tick message
        EXPECT_EQ(services.ensureCalls, ensureCallsBefore + 1);
        tick();
        EXPECT_EQ(engine.state().regState, RegState::Registering);
        EXPECT_EQ(shownLines(), (std::vector<std::string>{lineText(0), lineText(1), lineText(6)}));
    });
}

TEST_F(PhoneDialogTest, ASecondStartBringsTheWindowForwardWithoutAnnouncingARing) {
    run([this] {
        QWidget elsewhere;  // another program's window has the focus
        const auto activateElsewhere = [&elsewhere] {
            elsewhere.show();
            elsewhere.activateWindow();
            return QTest::qWaitFor([&elsewhere] { return QApplication::activeWindow() == &elsewhere; });
        };
        ASSERT_TRUE(activateElsewhere());
        host.bringWindowToFront();  // what the running program does for a later start
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &window; }));
        EXPECT_EQ(host.notificationsSent(), 0);
        // A melody that raises the window from behind does announce itself.
        ASSERT_TRUE(activateElsewhere());
        host.raiseWindow();
        EXPECT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &window; }));
        EXPECT_EQ(host.notificationsSent(), 1);
    });
}

TEST_F(PhoneDialogTest, SoundFaultShowsAnErrorBoxThatOutlivesTheWindowsRun) {
    driver.initResult = false;
    EXPECT_EQ(app.runTerminal(), ExitStatus::Failed);  // the loop ended at once
    const auto boxes = host.openMessages();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->text(), "Sount initialization fault!");
    EXPECT_EQ(boxes[0]->icon(), QMessageBox::Critical);
    EXPECT_EQ(store.writes, 1);  // the orderly shutdown ran meanwhile
    QTimer::singleShot(0, boxes[0], &QMessageBox::accept);
    host.waitForMessages();  // until the user closes it
    EXPECT_TRUE(host.openMessages().empty());
    // A close request (Ctrl-C, a termination request) ends the wait with the box still open.
    host.showMessage("Socket fault!");
    QTimer::singleShot(0, &window, [this] { loop.quit(); });
    host.waitForMessages();
    EXPECT_TRUE(host.openMessages().empty());
}

}  // namespace
}  // namespace vorpel::test
