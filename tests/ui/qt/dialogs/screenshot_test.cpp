// Saves a picture of each dialog under the build folder (screenshots/), so
// that the look can be reviewed.
#include <gtest/gtest.h>

#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QSet>
#include <QTest>

#include "ui/qt/dialogs/about_dialog.h"
#include "ui/qt/dialogs/error_box.h"
#include "ui/qt/dialogs/settings_dialog.h"
#include "ui/qt/dialogs/statistics_dialog.h"
#include "ui/qt/dialogs/tag_dialog.h"

namespace vorpel {
namespace {

void saveShot(QWidget& widget, const char* name) {
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    const QDir dir(QStringLiteral(VORPEL_SCREENSHOT_DIR));
    ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
    const QPixmap shot = widget.grab();
    EXPECT_EQ(shot.size(), widget.size() * shot.devicePixelRatio());
    const QString path = dir.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    EXPECT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    // The controls and their texts were drawn: the picture holds many colours.
    const QImage image = shot.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    }
    EXPECT_GT(colours.size(), 8) << name;
    widget.close();
}

TEST(DialogScreenshots, EachDialogIsSavedAsAPicture) {
    SettingsRecord record;
    SettingsForm form;
    form.address = u"192.0.2.7";
    form.account = u"4711";
    form.auth = u"4711auth";
    form.password = u"secret";
    form.keepAwake = true;
    CDSett settings(form, record, QSize(240, 320));
    saveShot(settings, "settings_dialog");

    TagForm tags;
    tags.texts = {u"Home", u"Office", u"", u"\uFFE9t\uFFE9", u"Tag 5"};
    CDTagupd tagDialog(tags);
    saveShot(tagDialog, "tag_dialog");

    CDAbout about;
    saveShot(about, "about_dialog");

    StatisticsDialog statistics([] {
        return CallStatistics{
            .sent = 312, .received = 310, .played = 3080, .missing = 20, .late = 2, .fill = 10};
    });
    saveShot(statistics, "statistics_dialog");

    auto box = makeErrorBox(nullptr, "Sount initialization fault!");
    saveShot(*box, "error_box");
}

}  // namespace
}  // namespace vorpel
