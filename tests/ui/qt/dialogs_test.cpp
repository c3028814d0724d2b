// The settings and tag dialogs' Qt glue: what the widgets show and give back,
// the back key, and the soft keys.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "ui/qt/dialogs/settings_dialog.h"
#include "ui/qt/dialogs/tag_dialog.h"

namespace vorpel {
namespace {

template <typename Widget = QLineEdit>
Widget& child(QWidget& dialog, const char* name) {
    auto* found = dialog.findChild<Widget*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return *found;
}

TEST(SettingsDialog, ShowsTheFormTakesEditsAndTheBackKeyRemovesWholeCharacters) {
    SettingsRecord record;
    const SettingsForm before{u"192.0.2.7", u"4711", u"auth", u"secret", true};
    CDSett dialog(before, record, QSize(240, 320));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(dialog.focusedField(), CDSett::ADDRESS_FIELD);
    EXPECT_EQ(child(dialog, "password").echoMode(), QLineEdit::Normal);  // shown in clear
    EXPECT_EQ(dialog.readForm().address, before.address);
    EXPECT_TRUE(child<QCheckBox>(dialog, "keepAwake").isChecked());
    QLineEdit& address = child(dialog, "address");
    address.end(false);
    QTest::keyClicks(&address, QString(70, QLatin1Char('a')));
    EXPECT_EQ(dialog.readForm().address.size(), 64u);  // the edit takes 64

    // The back key removes the last character wherever the cursor is, one
    // beyond the first plane whole, and never closes the form.
    const std::pair<QString, QString> backs[] = {
        {"4711", "471"},
        {"", ""},
        {QStringLiteral("\U0001F600"), ""},
        {QStringLiteral("ab\U0001F600"), "ab"},
        {QStringLiteral("\U0001F600b"), QStringLiteral("\U0001F600")}};
    QLineEdit& account = child(dialog, "account");
    account.setFocus();
    for (const auto& [text, left] : backs) {
        account.setText(text);
        account.setCursorPosition(0);
        QTest::keyClick(&account, Qt::Key_Escape);
        EXPECT_EQ(account.text(), left) << text.toStdString();
    }
    child<QCheckBox>(dialog, "keepAwake").setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);  // off the edits: nothing removed
    EXPECT_EQ(account.text(), QStringLiteral("\U0001F600"));
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(&child<QPushButton>(dialog, "ok"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(TagDialog, TheActionKeyCancelsOnTheCancelButtonAndAcceptsFromAnEdit) {
    TagForm form;
    form.texts[0] = u"first";
    CDTagupd dialog(form);
    std::vector<int> results;
    for (const char* focus : {"cancel", "text2"}) {
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
        QWidget& target = *dialog.findChild<QWidget*>(QString::fromLatin1(focus));
        target.setFocus();
        QTest::keyClicks(&target, "typed");
        QTest::keyClick(&target, Qt::Key_Return);
        EXPECT_FALSE(dialog.isVisible());
        results.push_back(dialog.result());
    }
    EXPECT_EQ(results, (std::vector<int>{QDialog::Rejected, QDialog::Accepted}));
    EXPECT_EQ(dialog.readForm().texts[0], u"first");
    EXPECT_EQ(dialog.readForm().texts[1], u"typed");
}

}  // namespace
}  // namespace vorpel
