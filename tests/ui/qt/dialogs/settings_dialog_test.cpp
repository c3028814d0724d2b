#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "modal_driver.h"
#include "ui/qt/dialogs/settings_dialog.h"

namespace vorpel {
namespace {

constexpr QSize PHONE_SCREEN{240, 320};
constexpr size_t LIVE_ADDRESS = ACCOUNT_BLOCK_OFFSET + CFG_SERVER_ADDRESS_OFFSET;
constexpr size_t LIVE_ACCOUNT = ACCOUNT_BLOCK_OFFSET + CFG_ACCOUNT_ID_OFFSET;
constexpr size_t LIVE_AUTH = ACCOUNT_BLOCK_OFFSET + CFG_AUTH_ID_OFFSET;
constexpr size_t LIVE_PASSWORD = ACCOUNT_BLOCK_OFFSET + CFG_PASSWORD_OFFSET;

SettingsRecord filledRecord() {
    SettingsRecord record;
    record.setText(LIVE_ADDRESS, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE, "192.0.2.7");
    record.setText(LIVE_ACCOUNT, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, "4711");
    record.setText(LIVE_AUTH, AUTH_ID_SIZE, AUTH_ID_USED, "auth");
    record.setText(LIVE_PASSWORD, PASSWORD_SIZE, PASSWORD_USED, "secret");
    return record;
}

QLineEdit& edit(QWidget& dialog, const char* name) {
    auto* found = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

template <typename Widget>
Widget& child(QWidget& dialog, const char* name) {
    auto* found = dialog.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

void click(QWidget& dialog, const char* button) {
    QTest::mouseClick(&child<QPushButton>(dialog, button), Qt::LeftButton);
}

// The shell's part around the dialog: store the form only when accepted.
bool runAndStore(SettingsRecord& record, ConfigSnapshot& snapshot, std::function<void(QWidget&)> user) {
    SettingsForm form = SettingsForm::load(record);
    test::whenModal(std::move(user));
    if (!execSettingsDialog(form, record, PHONE_SCREEN, nullptr)) return false;
    form.store(record, snapshot);
    return true;
}

TEST(SettingsDialog, AcceptedFieldsAreStoredCutToTheirLengthsAndShownSoAgain) {
    SettingsRecord record = filledRecord();
    ConfigSnapshot snapshot;
    const bool accepted = runAndStore(record, snapshot, [](QWidget& dialog) {
        EXPECT_EQ(edit(dialog, "address").text(), "192.0.2.7");
        EXPECT_EQ(edit(dialog, "password").text(), "secret");
        EXPECT_EQ(edit(dialog, "password").echoMode(), QLineEdit::Normal);  // shown in clear
        edit(dialog, "account").setText(QString(30, QLatin1Char('c')));
        edit(dialog, "password").setText(QString(20, QLatin1Char('p')));
        QLineEdit& address = edit(dialog, "address");
        address.end(false);
        QTest::keyClicks(&address, QString(70, QLatin1Char('a')));  // the edit takes 64
        click(dialog, "ok");
    });
    ASSERT_TRUE(accepted);
    EXPECT_EQ(record.text(LIVE_ACCOUNT, ACCOUNT_ID_SIZE), std::string(23, 'c'));
    EXPECT_EQ(record.text(LIVE_PASSWORD, PASSWORD_SIZE), std::string(15, 'p'));
    EXPECT_EQ(record.text(LIVE_ADDRESS, SERVER_ADDRESS_SIZE), "192.0.2.7" + std::string(55, 'a'));
    EXPECT_EQ(snapshot.bytes[CFG_ACCOUNT_ID_OFFSET + 22], 'c');
    EXPECT_EQ(snapshot.bytes[CFG_ACCOUNT_ID_OFFSET + 23], 0);

    runAndStore(record, snapshot, [](QWidget& dialog) {
        EXPECT_EQ(edit(dialog, "account").text(), QString(23, QLatin1Char('c')));
        EXPECT_EQ(edit(dialog, "address").text().size(), 63);
        click(dialog, "cancel");
    });
}

TEST(SettingsDialog, CancelAndCloseLeaveTheRecordUnchanged) {
    SettingsRecord record = filledRecord();
    record.setKeepAwake(true);
    const SettingsRecord before = record;
    ConfigSnapshot snapshot;
    EXPECT_FALSE(runAndStore(record, snapshot, [](QWidget& dialog) {
        edit(dialog, "account").setText("other");
        child<QCheckBox>(dialog, "keepAwake").setChecked(false);
        click(dialog, "cancel");
    }));
    EXPECT_FALSE(runAndStore(record, snapshot, [](QWidget& dialog) {
        edit(dialog, "auth").setText("other");
        dialog.close();  // the window's close request cancels
    }));
    EXPECT_EQ(record.bytes, before.bytes);
    EXPECT_EQ(snapshot.bytes, ConfigSnapshot{}.bytes);
}

TEST(SettingsDialog, OpeningAndAcceptingKeepsEveryByteValue) {
    // Every non-zero byte must come back as itself, control characters included.
    SettingsRecord record;
    std::string address;
    for (int b = 1; b <= 63; ++b) address.push_back(static_cast<char>(b));
    std::string high;
    for (int b = 0xE9; b <= 0xFF; ++b) high.push_back(static_cast<char>(b));
    record.setText(LIVE_ADDRESS, SERVER_ADDRESS_SIZE, SERVER_ADDRESS_SIZE, address);
    record.setText(LIVE_ACCOUNT, ACCOUNT_ID_SIZE, ACCOUNT_ID_USED, high);
    record.setText(LIVE_AUTH, AUTH_ID_SIZE, AUTH_ID_USED, "\x7F\x80\x81\xA0\xAD");
    record.setText(LIVE_PASSWORD, PASSWORD_SIZE, PASSWORD_USED, "\t \n\r");
    const SettingsRecord before = record;
    ConfigSnapshot snapshot;
    ASSERT_TRUE(runAndStore(record, snapshot, [](QWidget& dialog) { click(dialog, "ok"); }));
    EXPECT_EQ(record.bytes, before.bytes);
}

TEST(SettingsDialog, KeepAwakeBoxCarriesTheFlagBothWays) {
    SettingsRecord record = filledRecord();
    record.setSettingsFlags(0x80000001);
    ConfigSnapshot snapshot;
    // Accepting untouched keeps the flag: the box shows it and reads it back.
    ASSERT_TRUE(runAndStore(record, snapshot, [](QWidget& dialog) {
        EXPECT_TRUE(child<QCheckBox>(dialog, "keepAwake").isChecked());
        click(dialog, "ok");
    }));
    EXPECT_EQ(record.settingsFlags(), 0x80000001u);
    ASSERT_TRUE(runAndStore(record, snapshot, [](QWidget& dialog) {
        QTest::mouseClick(&child<QCheckBox>(dialog, "keepAwake"), Qt::LeftButton, {}, QPoint(4, 4));
        click(dialog, "ok");
    }));
    EXPECT_EQ(record.settingsFlags(), 0x80000000u);
    ASSERT_TRUE(runAndStore(record, snapshot, [](QWidget& dialog) {
        auto& box = child<QCheckBox>(dialog, "keepAwake");
        EXPECT_FALSE(box.isChecked());
        box.setFocus();
        QTest::keyClick(&box, Qt::Key_Space);
        click(dialog, "ok");
    }));
    EXPECT_EQ(record.settingsFlags(), 0x80000001u);
}

TEST(SettingsDialog, SlotsStoreAndLoadTheFormAtOnce) {
    SettingsRecord record = filledRecord();
    ConfigSnapshot snapshot;
    const bool accepted = runAndStore(record, snapshot, [&record](QWidget& dialog) {
        edit(dialog, "account").setText(QString(30, QLatin1Char('k')));
        child<QComboBox>(dialog, "storeSlot").setCurrentIndex(1);
        click(dialog, "store");
        const size_t slot1 = ACCOUNT_SLOT_OFFSET + ACCOUNT_SLOT_SIZE;
        EXPECT_EQ(record.text(slot1 + SLOT_SERVER_ADDRESS_OFFSET, 64), "192.0.2.7");
        EXPECT_EQ(record.text(slot1 + SLOT_ACCOUNT_ID_OFFSET, 24), std::string(23, 'k'));
        EXPECT_EQ(record.text(slot1 + SLOT_PASSWORD_OFFSET, 16), "secret");
        EXPECT_EQ(record.text(ACCOUNT_SLOT_OFFSET + SLOT_ACCOUNT_ID_OFFSET, 24), "");  // slot 0 untouched
        EXPECT_EQ(record.text(LIVE_ACCOUNT, 24), "4711");  // the live field waits for Ok

        // No selection stores nothing.
        child<QComboBox>(dialog, "storeSlot").setCurrentIndex(-1);
        edit(dialog, "account").setText("none");
        click(dialog, "store");
        EXPECT_EQ(record.text(slot1 + SLOT_ACCOUNT_ID_OFFSET, 24), std::string(23, 'k'));

        for (const char* name : {"address", "account", "auth", "password"}) edit(dialog, name).clear();
        auto& box = child<QCheckBox>(dialog, "keepAwake");
        box.setChecked(true);
        child<QComboBox>(dialog, "loadSlot").setCurrentIndex(1);
        click(dialog, "load");
        EXPECT_EQ(edit(dialog, "address").text(), "192.0.2.7");
        EXPECT_EQ(edit(dialog, "account").text(), QString(23, QLatin1Char('k')));
        EXPECT_EQ(edit(dialog, "auth").text(), "auth");
        EXPECT_TRUE(box.isChecked());  // loading a slot leaves keep-awake alone
        click(dialog, "cancel");
    });
    EXPECT_FALSE(accepted);
    // The slot stays stored although the dialog was cancelled.
    SettingsForm form;
    form.loadSlot(record, 1);
    EXPECT_EQ(form.account, std::u16string(23, u'k'));
}

TEST(SettingsDialog, BackKeyRemovesTheFocusedFieldsLastCharacterAndNeverCloses) {
    SettingsRecord record = filledRecord();
    CDSett dialog(SettingsForm::load(record), record, PHONE_SCREEN);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.focusedField(), CDSett::ADDRESS_FIELD);  // the first edit starts with the focus

    QLineEdit& account = edit(dialog, "account");
    account.setFocus();
    account.setCursorPosition(0);
    QTest::keyClick(&account, Qt::Key_Escape);
    QTest::keyClick(&account, Qt::Key_Escape);
    EXPECT_EQ(account.text(), "47");
    EXPECT_TRUE(dialog.isVisible());

    QLineEdit& password = edit(dialog, "password");
    password.setFocus();
    EXPECT_EQ(dialog.focusedField(), CDSett::PASSWORD_FIELD);
    password.setText(QStringLiteral("ab\U0001F600"));
    QTest::keyClick(&password, Qt::Key_Escape);
    EXPECT_EQ(password.text(), "ab");  // the two code units of one character go together
    for (int i = 0; i < 4; ++i) QTest::keyClick(&password, Qt::Key_Escape);  // more presses than characters
    EXPECT_EQ(password.text(), "");

    // With the focus off the edits nothing is removed.
    auto& box = child<QCheckBox>(dialog, "keepAwake");
    box.setFocus();
    EXPECT_EQ(dialog.focusedField(), CDSett::NO_FIELD);
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_EQ(account.text(), "47");
    EXPECT_EQ(edit(dialog, "address").text(), "192.0.2.7");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(SettingsDialog, RowsFollowThePhoneWindowsSize) {
    SettingsRecord record;
    CDSett dialog(SettingsForm{}, record, PHONE_SCREEN);
    // Row 1 at H/10 = 32, ending H/64 = 5 pixels before the next row; the
    // edit ends W/48 = 5 pixels before the two-thirds line, the label starts 5 after it.
    EXPECT_EQ(edit(dialog, "address").geometry(), QRect(0, 32, 155, 27));
    EXPECT_EQ(edit(dialog, "password").geometry(), QRect(0, 128, 155, 27));
    const QList<QLineEdit*> edits = dialog.findChildren<QLineEdit*>();
    QStringList labels;
    for (QLineEdit* e : edits) {
        if (e->isEnabled()) {
            EXPECT_EQ(e->maxLength(), CDSett::EDIT_LIMIT);
            continue;
        }
        labels << e->text();
        EXPECT_EQ(e->x(), 165);
        EXPECT_EQ(e->width(), 74);
    }
    EXPECT_EQ(labels, QStringList({"IP address", "Account Id", "Auth Id", "Password"}));
    EXPECT_EQ(edit(dialog, "auth").y(), 96);

    dialog.resize(480, 640);
    dialog.show();
    EXPECT_EQ(edit(dialog, "account").geometry(), QRect(0, 128, 310, 54));
    EXPECT_EQ(child<QPushButton>(dialog, "ok").text(), "Ok");
    EXPECT_EQ(child<QPushButton>(dialog, "cancel").text(), "Cancel");
}

}  // namespace
}  // namespace vorpel
