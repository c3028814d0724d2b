#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "modal_driver.h"
#include "ui/qt/dialogs/about_dialog.h"
#include "ui/qt/dialogs/error_box.h"
#include "ui/qt/dialogs/tag_dialog.h"

namespace vorpel {
namespace {

QLineEdit& text(QWidget& dialog, int number) {
    auto* found = dialog.findChild<QLineEdit*>(QStringLiteral("text%1").arg(number));
    EXPECT_NE(found, nullptr) << number;
    return *found;
}

size_t field(size_t index) { return TAG_FIELDS_OFFSET + index * TAG_FIELD_SIZE; }

// The shell's part around the dialog: store the texts only when accepted.
bool runAndStore(SettingsRecord& record, std::function<void(QWidget&)> user) {
    TagForm form = TagForm::load(record);
    test::whenModal(std::move(user));
    if (!execTagDialog(form, nullptr)) return false;
    form.store(record);
    return true;
}

TEST(TagDialog, ZeroBytesAreSkippedAndTheTextIsStoredBackPacked) {
    SettingsRecord record;
    record.bytes[field(0)] = 'A';
    record.bytes[field(0) + 2] = 'B';
    record.bytes[field(4) + 15] = 'Z';  // a text may also fill its field to the end
    ASSERT_TRUE(runAndStore(record, [](QWidget& dialog) {
        EXPECT_EQ(text(dialog, 1).text(), "AB");
        EXPECT_EQ(text(dialog, 5).text(), "Z");
        QTest::keyClick(&text(dialog, 3), Qt::Key_Return);  // the action key accepts
    }));
    EXPECT_EQ(record.bytes[field(0)], 'A');
    EXPECT_EQ(record.bytes[field(0) + 1], 'B');
    EXPECT_EQ(record.bytes[field(0) + 2], 0);
    EXPECT_EQ(record.bytes[field(4)], 'Z');
    EXPECT_EQ(record.bytes[field(4) + 15], 0);
}

TEST(TagDialog, HighBytesShowAsFullwidthFormsAndComeBackAsThemselves) {
    SettingsRecord record;
    const uint8_t high[] = {0x80, 0xA4, 0xE9, 0xFF, 'x'};
    for (size_t k = 0; k < std::size(high); ++k) record.bytes[field(1) + k] = high[k];
    const SettingsRecord before = record;
    ASSERT_TRUE(runAndStore(record, [](QWidget& dialog) {
        const QString shown = text(dialog, 2).text();
        ASSERT_EQ(shown.size(), 5);
        EXPECT_EQ(shown[0].unicode(), 0xFF80);
        EXPECT_EQ(shown[1].unicode(), 0xFFA4);
        EXPECT_EQ(shown[2].unicode(), 0xFFE9);
        EXPECT_EQ(shown[3].unicode(), 0xFFFF);
        EXPECT_EQ(shown[4], QLatin1Char('x'));
        QTest::keyClick(&dialog, Qt::Key_Enter, Qt::KeypadModifier);
    }));
    EXPECT_EQ(record.bytes, before.bytes);
}

TEST(TagDialog, LongTextsAreCutTo16AndCancelStoresNothing) {
    SettingsRecord record;
    ASSERT_TRUE(runAndStore(record, [](QWidget& dialog) {
        QTest::keyClicks(&text(dialog, 2), QStringLiteral("0123456789abcdefXYZ"));
        for (QChar typed : {QChar(0x0141), QChar(0x00E9)}) {  // low bytes 0x41, 0xE9
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(typed));
            QApplication::sendEvent(&text(dialog, 4), &press);
        }
        QTest::keyClick(&text(dialog, 2), Qt::Key_Return);
    }));
    EXPECT_EQ(std::string(record.bytes.begin() + field(1), record.bytes.begin() + field(2)),
              "0123456789abcdef");
    EXPECT_EQ(record.bytes[field(3)], 0x41);
    EXPECT_EQ(record.bytes[field(3) + 1], 0xE9);
    EXPECT_EQ(record.bytes[field(2)], 0);  // the next field is not overrun

    const SettingsRecord before = record;
    EXPECT_FALSE(runAndStore(record, [](QWidget& dialog) {
        text(dialog, 1).setText("changed");
        auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancel"));
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), "Cancel");
        QTest::mouseClick(cancel, Qt::LeftButton);
    }));
    EXPECT_EQ(record.bytes, before.bytes);
}

TEST(TagDialog, EnterPressesTheFocusedCancelButtonAndAcceptsFromAnEdit) {
    CDTagupd dialog(TagForm{});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("cancel"));
    ASSERT_NE(cancel, nullptr);
    cancel->setFocus();
    QTest::keyClick(cancel, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);

    // Once the focus has left the button for an edit, Enter accepts again.
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    cancel->setFocus();
    text(dialog, 2).setFocus();
    QTest::keyClick(&text(dialog, 2), Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(AboutDialog, ShowsTheProductAndClosesOnTheActionKey) {
    CDAbout dialog;
    EXPECT_EQ(dialog.windowTitle(), "About Vorpel");
    auto* product = dialog.findChild<QLabel*>(QStringLiteral("product"));
    ASSERT_NE(product, nullptr);
    EXPECT_EQ(product->text(), "Vorpel Mobile 1.16");
    auto* icon = dialog.findChild<QLabel*>(QStringLiteral("icon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_TRUE(icon->pixmap().isNull());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_FALSE(dialog.isVisible());

    bool ran = false;
    test::whenModal([&ran](QWidget& modal) {
        ran = modal.windowTitle() == "About Vorpel";
        QTest::keyClick(&modal, Qt::Key_Escape);
    });
    execAboutDialog(nullptr);
    EXPECT_TRUE(ran);
}

TEST(ErrorBox, HasTheErrorIconTheTextAndOneOkButton) {
    for (std::string_view message : {"Sount initialization fault!", "Socket fault!"}) {
        auto box = makeErrorBox(nullptr, message);
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        EXPECT_EQ(box->text().toStdString(), message);
        ASSERT_EQ(box->buttons().size(), 1);
        EXPECT_EQ(box->standardButton(box->buttons().front()), QMessageBox::Ok);
    }
    bool shown = false;
    test::whenModal([&shown](QWidget& modal) {
        auto* box = qobject_cast<QMessageBox*>(&modal);
        shown = box != nullptr && box->text() == "Socket fault!";
        if (box != nullptr) QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    showErrorBox(nullptr, "Socket fault!");
    EXPECT_TRUE(shown);
}

}  // namespace
}  // namespace vorpel
