// The settings, tag and sound-device dialogs' Qt glue: what the widgets show
// and give back, the back key, the soft keys, the level meter and the test
// melody (over file devices).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/file_wave_device.h"
#include "ui/qt/dialogs/settings_dialog.h"
#include "ui/qt/dialogs/sound_device_dialog.h"
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

TEST(SoundDeviceDialog, MetersTheChosenInputPlaysTheTestAndGivesBackTheChoice) {
    QTemporaryDir dir;
    const std::string tone = dir.filePath("tone.raw").toStdString();
    const std::string played = dir.filePath("played.raw").toStdString();
    std::vector<int16_t> square(80000);  // ten seconds, peak half of full scale (-6 dB)
    for (size_t i = 0; i < square.size(); ++i) square[i] = (i / 8) % 2 == 0 ? 16000 : -16000;
    std::ofstream(tone, std::ios::binary)
        .write(reinterpret_cast<const char*>(square.data()), static_cast<std::streamsize>(square.size() * 2));
    SoundDeviceDialog::Devices devices{
        {"mic", "tone"},
        {"speaker", "file"},
        [&](const std::string& name) {
            return std::make_unique<FileCaptureDevice>(name == "tone" ? tone : "/dev/null");
        },
        [&](const std::string& name) {
            return std::make_unique<FilePlaybackDevice>(name == "file" ? played : "/dev/null");
        }};

    // A stored name that is gone shows the default; a listed one is shown.
    SoundDeviceDialog dialog(devices, "tone", "gone");
    EXPECT_EQ(child<QComboBox>(dialog, "playback").currentIndex(), 0);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.level() == 90; }, 5000)) << dialog.level();
    QDir().mkpath(QStringLiteral(VORPEL_SCREENSHOT_DIR));
    EXPECT_TRUE(dialog.grab().save(QStringLiteral(VORPEL_SCREENSHOT_DIR "/sound_devices.png")));

    child<QComboBox>(dialog, "playback").setCurrentIndex(1);
    QTest::mouseClick(&child<QPushButton>(dialog, "test"), Qt::LeftButton);
    const auto bytes = 20 * WAVE_BUFFER_SAMPLES * sizeof(int16_t);  // two seconds
    std::error_code ec;
    EXPECT_TRUE(QTest::qWaitFor([&] { return std::filesystem::file_size(played, ec) == bytes; }, 10000));
    std::vector<int16_t> out(bytes / 2);
    std::ifstream(played, std::ios::binary)
        .read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
    EXPECT_GT(*std::max_element(out.begin(), out.end()), 8000);  // the melody sounded

    QTest::mouseClick(&child<QPushButton>(dialog, "ok"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.capture(), "tone");
    EXPECT_EQ(dialog.playback(), "file");
    EXPECT_EQ(dialog.level(), 0);  // the meter's device closed with the dialog
}

}  // namespace
}  // namespace vorpel
